// A whole vrastik run in a scratch directory of its own, with its console text.
#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "generator.h"

#include "support/scratch.h"

class ScratchRun : public testing::Test {
protected:
    void SetUp() override
    {
        old = std::filesystem::current_path();
        dir = scratchpath("run");
        std::filesystem::create_directories(dir);
        std::filesystem::current_path(dir);
    }
    void TearDown() override
    {
        std::filesystem::current_path(old);
        std::filesystem::remove_all(dir);
    }

    // Runs the command line as a new process would; returns the exit code.
    int run(std::vector<std::string> words)
    {
        resetgenerator();
        words.insert(words.begin(), "vrastik");
        std::vector<char *> argv;
        for (std::string &w : words)
            argv.push_back(w.data());
        testing::internal::CaptureStdout();
        int code = runvrastik(int(argv.size()), argv.data());
        console = testing::internal::GetCapturedStdout();
        return code;
    }

    std::filesystem::path old, dir;
    std::string console;
};
