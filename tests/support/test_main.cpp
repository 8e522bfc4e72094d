// The main of every gtest binary that links engine folders directly (tests/CMakeLists.txt,
// q7_add_test with LAYER). Nothing registers worker tasks by itself: before any test runs, the main
// makes the start-up calls of the folders its binary links (Q7_TEST_LINKS_<FOLDER>), as the
// library start does for all of them.
#include <gtest/gtest.h>

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

int main(int argc, char** argv) {
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
  return RUN_ALL_TESTS();
}
