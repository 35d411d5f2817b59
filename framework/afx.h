// The framework: a thin layer over Win32 with the names the program uses.
#pragma once

#include "framework/app.h"
#include "framework/controls.h"
#include "framework/dialog.h"
#include "framework/filedialog.h"
#include "framework/gdi.h"
#include "framework/msgbox.h"
#include "framework/occ.h"
#include "framework/socket.h"
#include "framework/wnd.h"
