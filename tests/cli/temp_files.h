// A temporary folder for the tables an end-to-end test writes; removed with what it holds.
#ifndef ZORV_TESTS_CLI_TEMP_FILES_H
#define ZORV_TESTS_CLI_TEMP_FILES_H

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

// The whole content of a file ("" when it cannot be read).
inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// The names in a folder, without "." and "..": what a run left behind.
inline std::vector<std::string> files_in(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        closedir(d);
    }
    return names;
}

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

    bool ok() const { return !dir_.empty(); }

    // The path of a file of that name in the folder, removed with it: for a file that
    // something else (the command) writes.
    std::string path(const std::string& name) {
        files_.push_back(dir_ + "/" + name);
        return files_.back();
    }

    // Writes content to a file of that name in the folder and returns its path.
    std::string write(const std::string& name, const std::string& content) {
        const std::string file = path(name);
        std::ofstream(file, std::ios::binary) << content;
        return file;
    }

  private:
    std::string dir_;
    std::vector<std::string> files_;
};

#endif
