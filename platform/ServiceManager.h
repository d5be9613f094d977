// The service manager (systemd): registering a program as a service (its unit file
// in the unit folder, enabled for the system's start) and removing it again, and
// telling the manager that the running service is ready or stopping.
//
// TAVO_UNIT_DIR names another unit folder than /etc/systemd/system, and
// TAVO_SYSTEMCTL another program than "systemctl" for the manager's commands.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace platform {

struct TServiceDefinition {
    std::string Name;         // the unit is Name + ".service"
    std::string DisplayName;  // the unit's description
    std::filesystem::path Executable;
    int StartTimeoutSeconds = 0;
};

// The unit file that runs `service` as a notify-type service under a user of its
// own with a hardened sandbox. Throws std::invalid_argument when the executable's
// path holds a character that a unit file cannot carry in a path.
std::string UnitFileText(const TServiceDefinition& service);

// The unit file's path in the unit folder.
std::filesystem::path UnitFilePath(std::string_view serviceName);

// Writes the unit file, reloads the manager and enables the unit. Throws an
// exception with the text of the first step that failed; the unit file stays
// written when a later step fails.
void InstallService(const TServiceDefinition& service);

// Stops and disables the unit, removes its file and reloads the manager. Every step
// is tried; throws an exception with the text of the first that failed.
void UninstallService(std::string_view serviceName);

// The running service has started and serves; `status` says how, in a few words.
void NotifyServiceReady(std::string_view status);
// The running service begins to stop.
void NotifyServiceStopping();

}  // namespace platform
