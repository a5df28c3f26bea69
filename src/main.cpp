// The program: this build's desktop backends, the handler bindings, and
// start-up. It takes nothing from its command line or environment.
#include "app/desktop_platform.h"
#include "app/shell.h"
#include "bindings.h"
#include "web/http_library.h"
#include "web/system_http_library.h"

int main() {
  auto platform = cdk::CreateDesktopPlatform();
  cdk::InstallHttpLibrary(&cdk::SystemHttpLibrary());
  return cdk::RunProgram(*platform, cdk::HandlerBindings());
}
