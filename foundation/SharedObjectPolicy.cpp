// The sharing policy's test of an existing machine-wide object.
#include "foundation/SharedObjectPolicy.h"

#include <unistd.h>

#include <vector>

namespace {

constexpr uid_t kSuperUser = 0;

// A user inside the circle of an object made with group gid: this process's user, the super-user,
// or any user when this process belongs to that group (the members share by the creator's choice).
bool InCircle(uid_t uid, gid_t gid) {
  return uid == geteuid() || uid == kSuperUser || IsGroupOfThisProcess(gid);
}

}  // namespace

bool IsGroupOfThisProcess(gid_t gid) {
  if (gid == getegid()) return true;
  const int n = getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(n));
  const int got = getgroups(n, groups.data());
  for (int i = 0; i < got; ++i) {
    if (groups[static_cast<size_t>(i)] == gid) return true;
  }
  return false;
}

bool IsSharedObjectTrusted(const SharedObjectOwnership& object) {
  if ((object.mode & 0002) != 0) return false;  // every user may write it
  // The system lets the members of both the object's group and its creator's group use the group
  // bits: when they allow writing, both groups must be this process's own.
  if ((object.mode & 0020) != 0 &&
      !(IsGroupOfThisProcess(object.group) && IsGroupOfThisProcess(object.creator_group)))
    return false;
  if (!InCircle(object.creator, object.creator_group)) return false;
  // The owner may change the mode at will; the creator may hand the object to any user.
  return object.owner == object.creator || object.owner == geteuid() || object.owner == kSuperUser;
}
