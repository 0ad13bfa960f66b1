// A tray module as an older install may have left it beside the tool: the
// entry points of its time, and a layout that is not the tool's (or none at
// all). The loader must refuse it before calling anything but the layout.
#include <cstdint>
#include <cstdlib>

extern "C" __attribute__((visibility("default"))) void* qs_gui_open(int*, char**, const char*,
                                                                    void*) {
  std::abort();  // a refused module is never opened
}

extern "C" __attribute__((visibility("default"))) void qs_gui_close(void*) {
  std::abort();
}

#ifdef QS_STALE_LAYOUT
extern "C" __attribute__((visibility("default"))) uint32_t qs_gui_layout() {
  return QS_STALE_LAYOUT;
}
#endif
