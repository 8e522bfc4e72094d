// Queries of the machine and the operating system (Linux figures).
//
// Absent information is reported as 0, -1 or an untouched buffer, as each function says; none of
// them throws. Safe from any thread.
#pragma once

constexpr int kHostNameSize = 256;
constexpr int kOsKindUnix = 53;

// The host name, at most kHostNameSize - 1 characters and a zero; out (kHostNameSize bytes) is
// emptied first, so a failed query leaves it empty.
void getHostName(char* out);

// osKind = 53; major and minor = the first two dot-separated numbers of the kernel release
// (uname), each 0 when absent. Returns 0.
int getSystemInfo(int* osKind, int* major, int* minor);

// processors = the number of processors online, second = -1, third = 6. Returns 0.
int getHardwareInfo(int* processors, int* second, int* third);

// total = page size x physical pages, free = 0 (never measured). Returns -1.
int getSystemMemInfo(unsigned long* total, unsigned long* free);

// The first IPv4 address of the host name (getHostName), in dotted form, into out (at least 16
// bytes); out is untouched when the name does not resolve. Resolution goes through the system's
// name service (the hosts file first where it is set up so).
void getIPAddress(char* out);

// No login is kept: name becomes the empty text and *id 0.
void getUserLoginID(char* name, long* id);

// The same as getSystemInfo and getHardwareInfo.
int GetUnixSystemInfo(int* osKind, int* major, int* minor);
int GetUnixHardwareInfo(int* processors, int* second, int* third);
// Not this platform: -1 and 0, the outputs untouched.
int GetWindowsSystemInfo(int* osKind, int* major, int* minor);
int GetWindowsHardwareInfo(int* processors, int* second, int* third);
