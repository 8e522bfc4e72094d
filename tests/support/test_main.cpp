// The main of every gtest binary that links engine folders directly (tests/CMakeLists.txt,
// q7_add_test with LAYER). Nothing registers worker tasks by itself: before any test runs, the main
// makes the start-up calls of the folders its binary links (Q7_TEST_LINKS_<FOLDER>), as the
// library start does for all of them.
//
// Machine-wide names: the engine's shared database image (a System V segment key), its shared-table
// registry (a POSIX shared-memory object) and the registry's semaphore set (a System V key) are one
// per machine. A test process never uses them: before any test runs the main gives it names derived
// from its process ID, which its forked children inherit, so that the tests neither touch the objects
// of a host running on the same machine nor meet another run of the tests. Objects left under those
// names (by this process, or by an earlier one that had the same ID and crashed) are removed before
// and after the tests.
#include <gtest/gtest.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/sem.h>
#include <sys/shm.h>
#include <unistd.h>

#include <cstdio>

#include "foundation/zpk_shm.h"

#if defined(Q7_TEST_LINKS_API) || defined(Q7_TEST_LINKS_SHARING)
#include "sharing/SMCS.h"
#include "sharing/SMCSLock.h"
#endif
#ifdef Q7_TEST_LINKS_API
#include "api/startup.h"
#else
#ifdef Q7_TEST_LINKS_VALUES
#include "values/ValueTasks.h"
#endif
#ifdef Q7_TEST_LINKS_KERNELS
#include "kernels/KernelTasks.h"
#endif
#ifdef Q7_TEST_LINKS_DATABASE
#include "database/DatabaseTasks.h"
#include "database/TTableCollection.h"
#include "foundation/CSmpEngine.h"
#endif
#ifdef Q7_TEST_LINKS_IMPORT
#include "import/ImportTasks.h"
#endif
#ifdef Q7_TEST_LINKS_CALC
#include "calc/CalcTasks.h"
#endif
#ifdef Q7_TEST_LINKS_JOIN
#include "join/JoinTasks.h"
#endif
#ifdef Q7_TEST_LINKS_SUMMARY
#include "summary/SummaryTasks.h"
#endif
#endif

namespace {

// Keys and a name of this process's own. Process IDs fit in 24 bits (the system's limit is 2^22);
// the high bytes keep these keys apart from the per-test keys the shared-memory tests make.
constexpr key_t kImageKeyBase = 0x52000000;
constexpr key_t kRegistrySemKeyBase = 0x38000000;

struct PrivateNames {
  key_t image_key;
  key_t registry_sem_key;
  char registry_object[64];
};

PrivateNames NamesOfThisProcess() {
  PrivateNames names{};
  const auto pid = static_cast<key_t>(getpid() & 0xFFFFFF);
  names.image_key = kImageKeyBase | pid;
  names.registry_sem_key = kRegistrySemKeyBase | pid;
  snprintf(names.registry_object, sizeof names.registry_object, "/q7test_main_%d",
           static_cast<int>(getpid()));
  return names;
}

void RemoveObjects(const PrivateNames& names) {
  const int segment = shmget(names.image_key, 0, 0);
  if (segment >= 0) shmctl(segment, IPC_RMID, nullptr);
  const int set = semget(names.registry_sem_key, 0, 0);
  if (set >= 0) semctl(set, 0, IPC_RMID);
  shm_unlink(names.registry_object);
}

void UsePrivateNames(const PrivateNames& names) {
  zpk_shm::SetKey(names.image_key);
#if defined(Q7_TEST_LINKS_API) || defined(Q7_TEST_LINKS_SHARING)
  SetSMCSNamesForTest(names.registry_object, names.registry_sem_key);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const PrivateNames names = NamesOfThisProcess();
  RemoveObjects(names);
  UsePrivateNames(names);
#ifdef Q7_TEST_LINKS_API
  StartLibrary();
#else
#ifdef Q7_TEST_LINKS_VALUES
  RegisterValueTasks();
#endif
#ifdef Q7_TEST_LINKS_KERNELS
  RegisterKernelTasks();
#endif
#ifdef Q7_TEST_LINKS_DATABASE
  RegisterDatabaseTasks();
  // The engine holds a table collection, as it does under the library start.
  EngineHooks hooks = GetEngineHooks();
  hooks.createCollection = [] { return new TTableCollection(); };
  hooks.deleteCollection = [](TTableCollection* collection) { delete collection; };
  SetEngineHooks(hooks);
#endif
#ifdef Q7_TEST_LINKS_IMPORT
  RegisterImportTasks();
#endif
#ifdef Q7_TEST_LINKS_CALC
  RegisterCalcTasks();
#endif
#ifdef Q7_TEST_LINKS_JOIN
  RegisterJoinTasks();
#endif
#ifdef Q7_TEST_LINKS_SUMMARY
  RegisterSummaryTasks();
#endif
#endif
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  RemoveObjects(names);
  return result;
}
