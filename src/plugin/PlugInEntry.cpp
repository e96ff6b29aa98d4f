// The plug-in library's one entry point: the host creates the principal class through it.
#include "plugin/QVEditPlugIn.h"

extern "C" __attribute__((visibility("default"))) qv::host::ApertureEditPlugIn* QVCreateEditPlugIn(
    qv::host::PROAPIAccessing* apiManager) {
    return QVEditPlugIn::initWithAPIManager(apiManager).release();
}
