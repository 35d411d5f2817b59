// The ActiveX control container. Until it hosts controls, a dialog's
// ActiveX items are left out of the dialog.
#include "framework/dialog.h"

COccManager* DefaultOccManager() { return nullptr; }
