// Queries of the machine and the operating system: host, OS version, processors, memory, user.
#include "foundation/SystemInfo.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

void getHostName(char* out) {
  out[0] = '\0';
  char name[kHostNameSize + 1] = {};
  if (gethostname(name, kHostNameSize) != 0) return;
  // gethostname need not terminate a name that was cut.
  name[kHostNameSize - 1] = '\0';
  memcpy(out, name, strlen(name) + 1);
}

int getSystemInfo(int* osKind, int* major, int* minor) {
  *osKind = kOsKindUnix;
  *major = 0;
  *minor = 0;
  utsname info;
  if (uname(&info) != 0) return 0;
  // "6.1.0-18-amd64": the leading number, then the number after the first dot.
  const char* text = info.release;
  char* end = nullptr;
  const long first = strtol(text, &end, 10);
  if (end == text) return 0;
  *major = static_cast<int>(first);
  if (*end != '.') return 0;
  const char* rest = end + 1;
  const long second = strtol(rest, &end, 10);
  if (end != rest) *minor = static_cast<int>(second);
  return 0;
}

int getHardwareInfo(int* processors, int* second, int* third) {
  const long online = sysconf(_SC_NPROCESSORS_ONLN);
  *processors = online > 0 ? static_cast<int>(online) : 1;
  *second = -1;
  *third = 6;
  return 0;
}

int getSystemMemInfo(unsigned long* total, unsigned long* free) {
  const long page = sysconf(_SC_PAGESIZE);
  const long pages = sysconf(_SC_PHYS_PAGES);
  *total = (page > 0 && pages > 0) ? static_cast<unsigned long>(page) * static_cast<unsigned long>(pages) : 0;
  *free = 0;
  return -1;
}

void getIPAddress(char* out) {
  char host[kHostNameSize];
  getHostName(host);
  if (host[0] == '\0') return;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return;
  char dotted[INET_ADDRSTRLEN];
  const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  const bool ok = inet_ntop(AF_INET, &in->sin_addr, dotted, sizeof dotted) != nullptr;
  freeaddrinfo(found);
  if (ok) memcpy(out, dotted, strlen(dotted) + 1);
}

void getUserLoginID(char* name, long* id) {
  name[0] = '\0';
  *id = 0;
}

int GetUnixSystemInfo(int* osKind, int* major, int* minor) { return getSystemInfo(osKind, major, minor); }

int GetUnixHardwareInfo(int* processors, int* second, int* third) {
  return getHardwareInfo(processors, second, third);
}

int GetWindowsSystemInfo(int*, int*, int*) { return -1; }

int GetWindowsHardwareInfo(int*, int*, int*) { return 0; }
