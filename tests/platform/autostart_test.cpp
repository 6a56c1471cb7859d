#ifndef _WIN32  // the freedesktop autostart entry: Linux only
#include "platform/autostart.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/registry.h"
#include "platform/xdg_sandbox.h"

namespace kb {
namespace {

std::string EntryPath(const test::XdgSandbox& box) {
    return box.Config() + "/autostart/Kestrelbox.desktop";
}

std::string ExecLine(const std::string& file) {
    const std::size_t at = file.find("\nExec=");
    if (at == std::string::npos) return {};
    return file.substr(at + 6, file.find('\n', at + 6) - at - 6);
}

// How a desktop splits an Exec line into arguments: string-value escapes
// first, then the quoting rules of the Exec key.
std::vector<std::string> DesktopArguments(const std::string& line) {
    std::string value;
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            const char c = line[++i];
            value.push_back(c == 's' ? ' ' : c == 'n' ? '\n' : c == 't' ? '\t' : c);
        } else {
            value.push_back(line[i]);
        }
    }
    std::vector<std::string> args;
    std::string cur;
    bool inQuotes = false, any = false;
    for (std::size_t i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (inQuotes) {
            if (c == '\\' && i + 1 < value.size()) {
                cur.push_back(value[++i]);
            } else if (c == '"') {
                inQuotes = false;
            } else {
                cur.push_back(c);
            }
        } else if (c == '"') {
            inQuotes = any = true;
        } else if (c == ' ') {
            if (any) args.push_back(cur);
            cur.clear();
            any = false;
        } else if (c == '%' && i + 1 < value.size() && value[i + 1] == '%') {
            cur.push_back('%');
            ++i;
            any = true;
        } else {
            cur.push_back(c);
            any = true;
        }
    }
    if (any) args.push_back(cur);
    return args;
}

TEST(AutoStart, EntryIsADesktopFileStartingTheProgramHidden) {
    test::XdgSandbox box;
    WriteAutoStartEntry("Kestrelbox", "/usr/lib/kestrelbox/kestrelbox");
    const std::string file = test::XdgSandbox::Read(EntryPath(box));
    EXPECT_EQ(file.rfind("[Desktop Entry]\n", 0), 0u) << file;
    EXPECT_NE(file.find("\nType=Application\n"), std::string::npos);
    EXPECT_NE(file.find("\nName=Kestrelbox\n"), std::string::npos);
    EXPECT_EQ(ExecLine(file), "/usr/lib/kestrelbox/kestrelbox startup");
    std::string command;
    ASSERT_EQ(ReadAutoStartEntry("Kestrelbox", command), 0);
    EXPECT_EQ(command, "/usr/lib/kestrelbox/kestrelbox startup");
}

TEST(AutoStart, AwkwardPathsReachTheDesktopAsOneArgument) {
    test::XdgSandbox box;
    for (const std::string path :
         {"/opt/Kestrel Box/kestrelbox", "/home/a\"b/$HOME/`id`/x\\y", "/tmp/100%/%f",
          "/tmp/semi;colon & (paren)/it's", "/tmp/new\nline/tab\there"}) {
        WriteAutoStartEntry("Kestrelbox", path);
        const std::string file = test::XdgSandbox::Read(EntryPath(box));
        const std::string exec = ExecLine(file);
        EXPECT_EQ(DesktopArguments(exec), (std::vector<std::string>{path, "startup"}))
            << "Exec=" << exec;
        std::string command;
        ASSERT_EQ(ReadAutoStartEntry("Kestrelbox", command), 0);
        EXPECT_EQ(command, AutoStartCommand(path));
        EXPECT_NE(command.find("startup"), std::string::npos);
    }
}

TEST(AutoStart, DeletingRemovesTheFileAndAMissingEntryIsNoError) {
    test::XdgSandbox box;
    std::string command = "kept";
    EXPECT_EQ(ReadAutoStartEntry("Kestrelbox", command), -1);
    EXPECT_EQ(command, "kept");
    EXPECT_NO_THROW(DeleteAutoStartEntry("Kestrelbox"));
    WriteAutoStartEntry("Kestrelbox", "/bin/kb");
    DeleteAutoStartEntry("Kestrelbox");
    EXPECT_FALSE(std::filesystem::exists(EntryPath(box)));
    EXPECT_EQ(ReadAutoStartEntry("Kestrelbox", command), -1);
}

TEST(AutoStart, ReadsEntriesWrittenByOthers) {
    test::XdgSandbox box;
    test::XdgSandbox::Write(EntryPath(box),
                            "[Desktop Entry]\r\nType=Application\r\nExec = /old/kestrelbox\r\n"
                            "[Desktop Action x]\nExec=/elsewhere startup\n");
    std::string command;
    ASSERT_EQ(ReadAutoStartEntry("Kestrelbox", command), 0);
    EXPECT_EQ(command, "/old/kestrelbox");

    // An entry the desktop has been told to ignore does not count.
    test::XdgSandbox::Write(EntryPath(box),
                            "[Desktop Entry]\nExec=/old/kestrelbox startup\nHidden=true\n");
    EXPECT_EQ(ReadAutoStartEntry("Kestrelbox", command), -1);
}

TEST(AutoStart, AnUnwritableLocationRaises) {
    test::XdgSandbox box;
    box.MakeConfigUnwritable();
    EXPECT_THROW(WriteAutoStartEntry("Kestrelbox", "/bin/kb"), RegistryError);
}

}  // namespace
}  // namespace kb
#endif
