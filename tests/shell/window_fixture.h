// A main window over a program state of its own: the configuration and the
// journal in a sandbox, every service switched off, files acted on without
// waiting to settle. Tests fill in the state, then create the window.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "journal/journal.h"
#include "platform/xdg_sandbox.h"
#include "runtime/session.h"
#include "runtime/startup.h"
#include "shell/mainwindow.h"

namespace kbtest {

class WindowFixture : public ::testing::Test {
protected:
    void SetUp() override {
        root_ = sandbox_.Root();
        std::filesystem::create_directories(root_ + "/app");
        state_.ProgramDir = root_ + "/app/";
        state_.ConfigFilePath = root_ + "/app/kbconf.ini";
        state_.ExecutablePath = root_ + "/app/kestrelbox";
        state_.store.InitServiceTable(nullptr);
        state_.settings.WaitSettled = false;
        state_.journal = &journal_;
    }

    // A window (and its session) on the state as it stands; the completion
    // gate is off, so a pass acts on a file it first lists.
    kb::MainWindow& create(kb::ScanEnvironment env = {}) {
        env.gate.enabled = false;
        window_.reset();
        session_ = std::make_unique<kb::Session>(state_, env);
        window_ = std::make_unique<kb::MainWindow>(*session_);
        return *window_;
    }

    kb::test::XdgSandbox sandbox_;
    std::string root_;
    kb::Journal journal_{sandbox_.Root() + "/state/activity.sqlite3"};
    kb::ProgramState state_;
    std::unique_ptr<kb::Session> session_;
    std::unique_ptr<kb::MainWindow> window_;
};

}  // namespace kbtest
