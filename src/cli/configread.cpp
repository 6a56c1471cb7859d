#include "cli/configread.h"

#include <QFileInfo>
#include <filesystem>
#include <ostream>

#include "platform/paths.h"
#include "runtime/startup.h"
#include "store/configfile.h"
#include "store/discovery.h"

namespace kb {

std::string ConfigPathOf(const CommandLine& command) {
    return command.configFile.isEmpty()
               ? FindConfigFilePath(DirectoryOf(ExecutablePath()))
               : QFileInfo(command.configFile).absoluteFilePath().toStdString();
}

TableRead ReadTableForCommand(const std::string& path, ServiceStore& store, std::ostream& err) {
    InitServiceTable(store);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return TableRead::Missing;
    bool clean = true;
    const int rc =
        ReadConfigFileLocated(path, store, [&](const std::string& text, std::size_t line) {
            clean = false;
            err << "kestrelbox: " << path << ':' << line << ": " << text
                << (text.ends_with('.') ? "" : ".") << '\n';
        });
    if (rc == 0 && clean) return TableRead::Clean;
    if (rc == -2)
        err << "kestrelbox: " << path << " cannot be read.\n";
    else
        err << "kestrelbox: " << path
            << " does not read cleanly, so it is not used and nothing was changed.\n";
    return TableRead::Refused;
}

}  // namespace kb
