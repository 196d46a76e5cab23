// Running the built program (GENEIG_EXE) in a fresh scratch directory: its
// exit status, what it writes on each stream, and what it leaves on disk.
#pragma once

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "test_support.hpp"

namespace geneig::run {

namespace fs = std::filesystem;

using test::put;
using test::slurp;

struct Outcome {
  int status;  // exit status, or 128 + the signal that ended the program
  std::string out, err;
  long max_rss_kb = 0;  // the program's peak resident memory
};

// Items of every record of a result file.
inline std::vector<std::vector<std::string>> records(const std::string& text) {
  std::vector<std::vector<std::string>> r;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream items(line);
    r.emplace_back();
    for (std::string w; items >> w;) r.back().push_back(w);
  }
  return r;
}

inline const std::string kOldResult = "old result\nthat must stay as it is\n";
inline const std::vector<std::string> kInAndOut{"matrix.in", "matrix.out"};

// A file of order n with A = B = I.
inline std::string identity_pencil(int n) {
  return test::matrix_in(oracle::identity(n), oracle::identity(n));
}

// The program runs in run_, inside the scratch directory, which holds its
// captured streams beside run_.
class Program : public test::ScratchDir {
 protected:
  void SetUp() override {
    test::ScratchDir::SetUp();
    run_ = dir_ / "run";
    fs::create_directory(run_);
  }

  // Runs the program (exe) in run_, its streams captured beside it;
  // file_limit bounds the size of every file it writes (SIGXFSZ ignored, so
  // a write past the limit fails with EFBIG instead of ending the program).
  Outcome run(const std::vector<std::string>& args = {}, rlim_t file_limit = RLIM_INFINITY,
              const char* exe = GENEIG_EXE) {
    const fs::path out = dir_ / "stdout", err = dir_ / "stderr";
    const pid_t pid = fork();
    if (pid == 0) {
      const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (o < 0 || e < 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0 || chdir(run_.c_str()) != 0)
        _exit(127);
      if (file_limit != RLIM_INFINITY) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{file_limit, file_limit};
        if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
      }
      std::vector<char*> argv{const_cast<char*>(exe)};
      for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      execv(exe, argv.data());
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return {code, slurp(out), slurp(err), usage.ru_maxrss};
  }

  void input(const std::string& text) { put(run_ / "matrix.in", text); }
  void example(const char* name) {
    fs::copy_file(fs::path(GENEIG_SOURCE_DIR) / "examples" / name / "matrix.in",
                  run_ / "matrix.in");
  }
  std::string result() const { return slurp(run_ / "matrix.out"); }
  std::vector<std::string> listing() const { return ScratchDir::listing(run_); }

  fs::path run_;
};

}  // namespace geneig::run
