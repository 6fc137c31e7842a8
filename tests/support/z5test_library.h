// The library started over a program folder and a configuration folder of the
// test's own, listing the devices of a simulator bus.
#pragma once
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "tovamod.h"
#include "z5sim_bus.h"

namespace z5test {

class LibraryOnBus : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "z5lib-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root = pattern;
        std::filesystem::create_directories(root / "prog");
        std::filesystem::create_directories(root / "cfg");
        ::setenv("ZELTO5_PROGRAM_DIR", (root / "prog").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "cfg").c_str(), 1);
        bus.Export();
        ASSERT_EQ(tovamod_init(), 0);
    }
    void TearDown() override {
        tovamod_uninit();
        bus.UnplugAll();
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
    }

    std::filesystem::path root;
    z5sim::Bus bus;
};

}  // namespace z5test
