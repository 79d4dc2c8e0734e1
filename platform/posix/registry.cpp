// The process's registry on POSIX: the file registry in the user's configuration folder.
#include "platform/registry.h"

#include "platform/path.h"

namespace platform {
namespace {

IRegistry* testRegistry = nullptr;

}  // namespace

IRegistry& SystemRegistry() {
  if (testRegistry != nullptr) return *testRegistry;
  // Without a configuration folder (no HOME) the settings live in memory for this run.
  static const std::unique_ptr<IRegistry> registry = [] {
    const std::string config = UserConfigDirectory();
    return OpenFileRegistry(config.empty() ? std::string()
                                           : JoinPath(JoinPath(config, "tessaly"), "registry"));
  }();
  return *registry;
}

void SetSystemRegistryForTesting(IRegistry* registry) { testRegistry = registry; }

}  // namespace platform
