// Who may use the engine's machine-wide objects: the shared database image (a System V segment,
// foundation/zpk_shm.h), the shared-table registry (a POSIX shared-memory object, sharing/SMCS.h),
// its semaphore set (System V, sharing/SMCSLock.h), and the table files registered in it.
//
// One policy for all of them. The circle that shares an object is the user that made it and the
// members of the group it was made with (the creating process's effective group); the super-user
// belongs to every circle, since nothing keeps it out anyway. Modes are set explicitly, never taken
// from the umask:
//   kSharedImageMode     0640  the image: its creator writes it once; the circle reads it
//   kSharedObjectMode    0660  the registry and its semaphores: every process of the circle changes
//                              them (registering, attaching and locking write to them)
// Other users get no access. A process uses an existing object only when it is inside the
// object's circle and nobody outside the circle may change the object: an object that others may
// write, whose group may write while this process is not in that group, or that was made or is
// owned by a user outside the circle, is refused. Such an object could be rewritten under a process
// that trusts its bytes, or could hold the registry's locks for good.
//
// Thread safety: the functions read only the process's credentials; they may run on any thread.
#pragma once

#include <sys/types.h>

inline constexpr mode_t kSharedImageMode = 0640;
inline constexpr mode_t kSharedObjectMode = 0660;

// An object's owner, group, creator, creator's group and permission bits, as the system reports
// them. For a POSIX object or a file (which records no creator) creator and creator_group repeat
// owner and group.
struct SharedObjectOwnership {
  uid_t owner;
  gid_t group;
  uid_t creator;
  gid_t creator_group;
  mode_t mode;
};

// Whether this process may use the object under the policy above.
bool IsSharedObjectTrusted(const SharedObjectOwnership& object);
// Whether gid is this process's effective group or one of its supplementary groups.
bool IsGroupOfThisProcess(gid_t gid);
