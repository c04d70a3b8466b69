// A temporary folder for the tables an end-to-end test writes; removed with what it holds.
#ifndef ZORV_TESTS_CLI_TEMP_FILES_H
#define ZORV_TESTS_CLI_TEMP_FILES_H

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

class TempFiles {
  public:
    TempFiles() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern =
            std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/zorvcliXXXXXX";
        if (mkdtemp(pattern.data()) != nullptr) dir_ = pattern;
    }
    ~TempFiles() {
        for (const std::string& f : files_) unlink(f.c_str());
        if (!dir_.empty()) rmdir(dir_.c_str());
    }
    TempFiles(const TempFiles&) = delete;
    TempFiles& operator=(const TempFiles&) = delete;

    // Writes content to a file of that name in the folder and returns its path.
    std::string write(const std::string& name, const std::string& content) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path, std::ios::binary) << content;
        files_.push_back(path);
        return path;
    }

  private:
    std::string dir_;
    std::vector<std::string> files_;
};

#endif
