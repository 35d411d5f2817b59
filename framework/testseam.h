// The script that stands in for a system dialog in tests (message boxes, the
// file dialog): one per kind for the whole process, empty until a test
// installs one, so the real dialog shows.
#pragma once

template <class Script>
Script& TestScript() {
  static Script script;
  return script;
}
