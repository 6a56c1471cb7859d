// Gives a test its own configuration and runtime directories, so nothing
// touches the real home, and puts the environment back afterwards.
#pragma once

#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace kb::test {

class XdgSandbox {
public:
    XdgSandbox() {
        std::string tmpl = (std::filesystem::temp_directory_path() / "kbtest.XXXXXX").string();
        root_ = mkdtemp(tmpl.data());
        std::filesystem::create_directories(root_ + "/config");
        std::filesystem::create_directories(root_ + "/run");
        chmod((root_ + "/run").c_str(), 0700);
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "HOME"}) {
            const char* v = getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        setenv("XDG_CONFIG_HOME", (root_ + "/config").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (root_ + "/run").c_str(), 1);
        setenv("HOME", (root_ + "/home").c_str(), 1);
    }
    ~XdgSandbox() {
        for (const auto& [name, value] : saved_) {
            if (value)
                setenv(name.c_str(), value->c_str(), 1);
            else
                unsetenv(name.c_str());
        }
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    XdgSandbox(const XdgSandbox&) = delete;
    XdgSandbox& operator=(const XdgSandbox&) = delete;

    const std::string& Root() const { return root_; }
    std::string Config() const { return root_ + "/config"; }
    std::string Run() const { return root_ + "/run"; }
    std::string RegistryFile() const { return Config() + "/Kestrelbox/registry.reg"; }

    // Points the configuration directory below a regular file, where nothing
    // can be created even by root.
    void MakeConfigUnwritable() {
        const std::string blocker = root_ + "/blocker";
        std::ofstream(blocker) << "x";
        setenv("XDG_CONFIG_HOME", (blocker + "/config").c_str(), 1);
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }
    static void Write(const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

private:
    std::string root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace kb::test
