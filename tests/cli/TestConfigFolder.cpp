// Every run of the command line without --registry uses the user's store in the configuration
// folder. The tests of this binary get a folder of their own, emptied before each test, so that
// no test reads or changes the store of the person running them, nor one another's.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

std::filesystem::path Folder() {
    return std::filesystem::temp_directory_path() / ("zd_cli_config_" + std::to_string(::getpid()));
}

class ConfigFolder : public ::testing::Environment {
  public:
    void SetUp() override {
        std::filesystem::create_directories(Folder());
        ::setenv("XDG_CONFIG_HOME", Folder().c_str(), 1);
    }
    void TearDown() override { std::filesystem::remove_all(Folder()); }
};

class EmptyStoreForEachTest : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override {
        std::filesystem::remove_all(Folder() / "zd4270");
    }
};

const bool kRegistered = [] {
    ::testing::AddGlobalTestEnvironment(new ConfigFolder);
    ::testing::UnitTest::GetInstance()->listeners().Append(new EmptyStoreForEachTest);
    return true;
}();

}  // namespace
