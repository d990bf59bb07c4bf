#pragma once
// A fresh folder per test, removed afterwards.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/link_block.h"

namespace tessarin::testing {

class TempDirTest : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = std::filesystem::temp_directory_path() /
               ("tessarin-" + std::to_string(::getpid()) + "-" + info->test_suite_name() + "-" + info->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    std::string dir() const { return dir_.string(); }

private:
    std::filesystem::path dir_;
};

// Documents as the window makes them: the folder's "work" is the work
// folder, and the link block is the test process's own.
class WorkFolderTest : public TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        ::setenv("TESSARIN_WORKDIR", path("work").c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("TESSARIN_WORKDIR");
        LinkBlock::remove(linkName);
        TempDirTest::TearDown();
    }
    const std::string linkName = "link_data_test_" + std::to_string(::getpid());
};

}  // namespace tessarin::testing
