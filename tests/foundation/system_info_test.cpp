// The system queries built beside the ones engine_test.cpp covers: the host address, the login and
// the per-platform entry points.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "foundation/SystemInfo.h"

namespace {

// The address the hosts file gives the name on its first line naming it (IPv4 only), or "".
std::string HostsFileAddress(const std::string& name) {
  std::ifstream in("/etc/hosts");
  std::string line;
  while (std::getline(in, line)) {
    line = line.substr(0, line.find('#'));
    std::istringstream words(line);
    std::string address, word;
    if (!(words >> address)) continue;
    in_addr parsed{};
    if (inet_pton(AF_INET, address.c_str(), &parsed) != 1) continue;
    while (words >> word) {
      if (word == name) return address;
    }
  }
  return "";
}

}  // namespace

TEST(SystemInfo, IPAddressOfTheHostName) {
  char host[kHostNameSize];
  getHostName(host);
  char out[64];
  memset(out, '#', sizeof out);
  out[sizeof out - 1] = '\0';
  getIPAddress(out);
  const std::string want = HostsFileAddress(host);
  if (!want.empty()) {
    EXPECT_EQ(std::string(out), want);
  } else if (out[0] != '#') {
    // The name resolved elsewhere: a dotted IPv4 address.
    in_addr parsed{};
    EXPECT_EQ(inet_pton(AF_INET, out, &parsed), 1) << out;
  } else {
    EXPECT_EQ(std::string(out), std::string(sizeof out - 1, '#'));  // untouched
  }
}

TEST(SystemInfo, LoginAndPlatformEntryPoints) {
  char name[8] = "someone";
  long id = 42;
  getUserLoginID(name, &id);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(id, 0);

  int a[3] = {0, 0, 0};
  int b[3] = {1, 1, 1};
  EXPECT_EQ(GetUnixSystemInfo(&a[0], &a[1], &a[2]), getSystemInfo(&b[0], &b[1], &b[2]));
  EXPECT_EQ(std::vector<int>(a, a + 3), std::vector<int>(b, b + 3));
  EXPECT_EQ(GetUnixHardwareInfo(&a[0], &a[1], &a[2]), getHardwareInfo(&b[0], &b[1], &b[2]));
  EXPECT_EQ(std::vector<int>(a, a + 3), std::vector<int>(b, b + 3));

  int w[3] = {7, 8, 9};
  EXPECT_EQ(GetWindowsSystemInfo(&w[0], &w[1], &w[2]), -1);
  EXPECT_EQ(GetWindowsHardwareInfo(&w[0], &w[1], &w[2]), 0);
  EXPECT_EQ(std::vector<int>(w, w + 3), (std::vector<int>{7, 8, 9}));
}
