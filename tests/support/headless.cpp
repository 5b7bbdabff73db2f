#include "tests/support/headless.h"

#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

void test_machine_start(const HeadlessHost& host) {
  static bool started = false;
  if (!started) {
    headless_set(host);
    machine_init();
    started = true;
  }
  headless_release_keys();
  if (machine_total_cycles() % FRAME_CYCLES) machine_wait(1);
}

void test_fresh(const std::function<void()>& body) {
#ifdef _WIN32
  // No fork: the rows are checked on the Linux build.
  (void)body;
  GTEST_SKIP();
#else
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child == 0) {
    body();
    std::fflush(nullptr);
    _exit(testing::Test::HasFailure() ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
#endif
}
