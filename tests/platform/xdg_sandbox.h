// Gives a test its own configuration and runtime directories, so nothing
// touches the real home, and puts the environment back afterwards. On
// Windows, where the settings are in the system registry, it also clears the
// program's keys before and after the test (the tests run in a Wine prefix
// of their own).
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif
#include <stdlib.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace kb::test {

class XdgSandbox {
public:
    XdgSandbox() {
        const auto base = std::filesystem::temp_directory_path();
        std::random_device rd;
        do {
            root_ = (base / ("kbtest." + std::to_string(rd()))).string();
        } while (!std::filesystem::create_directory(root_));
        std::filesystem::create_directories(root_ + "/config");
        std::filesystem::create_directories(root_ + "/run");
        std::filesystem::permissions(root_ + "/run", std::filesystem::perms::owner_all);
        for (const char* name : {"XDG_CONFIG_HOME", "XDG_RUNTIME_DIR", "HOME"}) {
            const char* v = getenv(name);
            saved_.emplace_back(name, v ? std::optional<std::string>(v) : std::nullopt);
        }
        SetEnv("XDG_CONFIG_HOME", root_ + "/config");
        SetEnv("XDG_RUNTIME_DIR", root_ + "/run");
        SetEnv("HOME", root_ + "/home");
        ClearSystemRegistry();
    }
    ~XdgSandbox() {
        for (const auto& [name, value] : saved_) {
            if (value)
                SetEnv(name, *value);
            else
                UnsetEnv(name);
        }
        ClearSystemRegistry();
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
        SetEnv("XDG_CONFIG_HOME", blocker + "/config");
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

    static void SetEnv(const std::string& name, const std::string& value) {
#ifdef _WIN32
        _putenv_s(name.c_str(), value.c_str());
#else
        setenv(name.c_str(), value.c_str(), 1);
#endif
    }
    static void UnsetEnv(const std::string& name) {
#ifdef _WIN32
        _putenv_s(name.c_str(), "");
#else
        unsetenv(name.c_str());
#endif
    }

private:
    // The keys the program and its discovery use in the system registry.
    static void ClearSystemRegistry() {
#ifdef _WIN32
        // With the keys the registry's own tests make.
        for (const char* key :
             {"SOFTWARE\\Kestrelbox", "SOFTWARE\\KaZaA", "SOFTWARE\\Morpheus", "SOFTWARE\\Grokster",
              "SOFTWARE\\BearShare", "SOFTWARE\\LimeWire", "SOFTWARE\\Test", "K", "Other"}) {
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, key);
            RegDeleteTreeA(HKEY_CURRENT_USER, key);
        }
        HKEY run;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Run",
                          0, KEY_SET_VALUE, &run) == ERROR_SUCCESS) {
            RegDeleteValueA(run, "Kestrelbox");
            RegCloseKey(run);
        }
#endif
    }

    std::string root_;
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};

}  // namespace kb::test
