// Database and table saves onto names that are links: symbolic links are followed to the file they
// name, hard-linked files are split, the owner and mode survive, and refusals and failures leave
// every file and link as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <vector>

#include "database/TTableCollection.h"
#include "foundation/CQ7Exception.h"
#include "table_files_support.h"

namespace {

using files_test::CodeOf;
using files_test::DirBuf;
using files_test::FilesTest;
using files_test::ReadAll;
using files_test::WriteAll;
namespace fs = std::filesystem;

enum class Kind { kDatabase, kTable };
const Kind kKinds[] = {Kind::kDatabase, Kind::kTable};

class SaveLinks : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    NewTable(4);
  }

  // Replaces the table T by one of `rows` rows with one INTEGER filter.
  void NewTable(int rows) {
    if (table_id_ != 0) {
      ASSERT_EQ(db_->DelTable(table_id_), 0);
    }
    table_id_ = AddTable("T", rows);
    std::vector<int> values(static_cast<size_t>(rows));
    for (int i = 0; i < rows; ++i) values[static_cast<size_t>(i)] = i % 7;
    AddIntFilter(Real(table_id_), "k", values);
  }

  // The file a save of `kind` writes into a directory.
  static const char* FileName(Kind kind) { return kind == Kind::kDatabase ? "db.Q7D" : "T.Q7T"; }

  // Saves into the directory `sub`: SaveDB with the name "db", or SaveRealTable of table T. The code
  // thrown or returned.
  int SaveCode(Kind kind, const std::string& sub) {
    DirBuf dir(Path(sub.c_str()));
    char name[] = "db";
    int returned = 0;
    const int thrown = CodeOf([&] {
      if (kind == Kind::kDatabase) {
        db_->SaveDB(dir.text, name);
      } else {
        returned = db_->SaveRealTable(dir.text, table_id_);
      }
    });
    return thrown != 0 ? thrown : returned;
  }

  // The bytes the save writes to a plain new file.
  std::string PlainSave(Kind kind) {
    const std::string sub = std::string("plain") + std::to_string(plain_count_++);
    fs::create_directories(Path(sub.c_str()));
    EXPECT_EQ(SaveCode(kind, sub), 0);
    return ReadAll(Path((sub + "/" + FileName(kind)).c_str()));
  }

  // Every entry of a directory as "name" or "name -> link text", sorted.
  std::vector<std::string> Entries(const std::string& sub) const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(Path(sub.c_str()))) {
      std::string entry = e.path().filename().string();
      if (e.is_symlink()) entry += " -> " + fs::read_symlink(e.path()).string();
      out.push_back(entry);
    }
    std::sort(out.begin(), out.end());
    return out;
  }
  // The entries of each existing directory of the list.
  std::vector<std::vector<std::string>> Listing(std::initializer_list<const char*> subs) const {
    std::vector<std::vector<std::string>> out;
    for (const char* sub : subs)
      out.push_back(fs::exists(Path(sub)) ? Entries(sub) : std::vector<std::string>{});
    return out;
  }

  // Makes the links of a case: "name>target" each, a target starting with '/' taken under the
  // test's directory.
  void MakeLinks(const std::vector<std::string>& links) {
    for (const std::string& l : links) {
      const size_t arrow = l.find('>');
      const std::string name = l.substr(0, arrow);
      std::string target = l.substr(arrow + 1);
      if (target[0] == '/') target = Path(target.substr(1).c_str());
      fs::create_directories(fs::path(Path(name.c_str())).parent_path());
      fs::create_symlink(target, Path(name.c_str()));
    }
  }

  int table_id_ = 0;
  int plain_count_ = 0;
};

// The links lead from d/<file> to a file elsewhere; a save replaces that file and every link stays.
struct LinkCase {
  const char* what;
  std::vector<std::string> links;  // "path>target"; <file> stands for the saved file's name
  const char* real;                // the file at the end of the chain
};
const LinkCase kLinkCases[] = {
    {"absolute link", {"d/<file>>/store/real"}, "store/real"},
    {"relative link into another directory", {"d/<file>>../store/real"}, "store/real"},
    {"relative link within the directory", {"d/<file>>real"}, "d/real"},
    {"chain of links", {"d/<file>>../hop/next", "hop/next>/store/real"}, "store/real"},
};

std::string ForFile(std::string text, const char* file) {
  for (size_t at; (at = text.find("<file>")) != std::string::npos;) text.replace(at, 6, file);
  return text;
}

TEST_F(SaveLinks, SaveThroughASymbolicLinkReplacesTheLinkedFile) {
  for (Kind kind : kKinds) {
    const std::string want = PlainSave(kind);
    for (const LinkCase& c : kLinkCases) {
      SCOPED_TRACE(std::string(FileName(kind)) + ": " + c.what);
      fs::remove_all(Path("d"));
      fs::remove_all(Path("hop"));
      fs::remove_all(Path("store"));
      std::vector<std::string> links;
      for (const std::string& l : c.links) links.push_back(ForFile(l, FileName(kind)));
      MakeLinks(links);
      fs::create_directories(fs::path(Path(c.real)).parent_path());
      WriteAll(Path(c.real), "old contents");
      const auto before = Listing({"d", "hop", "store"});

      ASSERT_EQ(SaveCode(kind, "d"), 0);
      EXPECT_EQ(ReadAll(Path(c.real)), want);
      // The links still lead to the same file, and no temporary file stayed anywhere.
      EXPECT_EQ(Listing({"d", "hop", "store"}), before);
    }
  }
}

TEST_F(SaveLinks, ReSaveFollowsTheLinkAgain) {
  MakeLinks({"d/db.Q7D>../store/real.Q7D"});
  fs::create_directories(Path("store"));
  WriteAll(Path("store/real.Q7D"), "old contents");
  ASSERT_EQ(SaveCode(Kind::kDatabase, "d"), 0);
  AddIntFilter(Real(table_id_), "late", {5, 6, 7, 8});
  db_->ReSave();
  EXPECT_EQ(Entries("d"), std::vector<std::string>{"db.Q7D -> ../store/real.Q7D"});
  DirBuf dir(Path("store"));
  char name[] = "real";
  TTableCollection loaded(dir.text, name);
  ASSERT_EQ(loaded.TableCount(), 1);
  EXPECT_EQ(static_cast<TRealTable*>(loaded.TableAt(0))->FnFilter, 2);
}

// Names that lead to no regular file are refused before anything is written.
struct RefusedCase {
  const char* what;
  std::vector<std::string> links;
  bool directory;  // d/<file> is a directory
};
const RefusedCase kRefused[] = {
    {"dangling link", {"d/<file>>missing"}, false},
    {"dangling absolute link", {"d/<file>>/nowhere/missing"}, false},
    {"link to itself", {"d/<file>><file>"}, false},
    {"loop of two links", {"d/<file>>other", "d/other><file>"}, false},
    {"link to a directory", {"d/<file>>/store"}, false},
    {"directory", {}, true},
};

TEST_F(SaveLinks, NamesLeadingToNoRegularFileGiveACodedError) {
  fs::create_directories(Path("store"));
  for (Kind kind : kKinds) {
    for (const RefusedCase& c : kRefused) {
      SCOPED_TRACE(std::string(FileName(kind)) + ": " + c.what);
      fs::remove_all(Path("d"));
      fs::create_directories(Path("d"));
      std::vector<std::string> links;
      for (const std::string& l : c.links) links.push_back(ForFile(l, FileName(kind)));
      MakeLinks(links);
      if (c.directory) fs::create_directories(Path(("d/" + std::string(FileName(kind))).c_str()));
      const std::vector<std::string> before = Entries("d");
      DrainRing();

      EXPECT_EQ(SaveCode(kind, "d"), Q7_ERROR_ILLEGAL_FILE_NAME);
      EXPECT_EQ(DrainRing(), std::vector<std::string>{"zpk_open|Illegal FileName"});
      EXPECT_EQ(Entries("d"), before);
      EXPECT_TRUE(Entries("store").empty());
      EXPECT_FALSE(fs::exists(Path("nowhere")));
      EXPECT_STREQ(db_->FDBName, "");
    }
  }
}

TEST_F(SaveLinks, OwnerAndModeAreKept) {
  // Only a privileged process may give a file to another user; elsewhere the owner is our own.
  const bool privileged = geteuid() == 0;
  const uid_t uid = privileged ? 4321 : geteuid();
  const gid_t gid = privileged ? 8765 : getegid();
  struct ModeCase {
    mode_t mode;
    bool via_link;
  };
  const ModeCase kModes[] = {{0640, false}, {0600, false}, {0604, false}, {0640, true}, {0751, true}};
  for (Kind kind : kKinds) {
    for (const ModeCase& c : kModes) {
      char mode[8];
      snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(c.mode));
      SCOPED_TRACE(std::string(FileName(kind)) + " mode " + mode + (c.via_link ? " via link" : ""));
      fs::remove_all(Path("d"));
      fs::remove_all(Path("store"));
      fs::create_directories(Path("d"));
      fs::create_directories(Path("store"));
      const std::string name = std::string("d/") + FileName(kind);
      const std::string real = c.via_link ? Path("store/real") : Path(name.c_str());
      if (c.via_link) MakeLinks({name + ">/store/real"});
      WriteAll(real, "old contents");
      ASSERT_EQ(chmod(real.c_str(), c.mode), 0);
      ASSERT_EQ(chown(real.c_str(), uid, gid), 0);

      ASSERT_EQ(SaveCode(kind, "d"), 0);
      struct stat st;
      ASSERT_EQ(stat(real.c_str(), &st), 0);
      EXPECT_NE(ReadAll(real), "old contents");
      EXPECT_EQ(st.st_mode & 07777, c.mode);
      EXPECT_EQ(st.st_uid, uid);
      EXPECT_EQ(st.st_gid, gid);
      EXPECT_EQ(fs::is_symlink(Path(name.c_str())), c.via_link);
    }
  }
}

// A file with several hard links is split by a save: the saved name gets the new file, the other
// names keep the old contents whole (writing into the shared file could leave every name with a
// half-written file after a crash).
TEST_F(SaveLinks, HardLinkedFileIsSplit) {
  for (Kind kind : kKinds) {
    SCOPED_TRACE(FileName(kind));
    fs::remove_all(Path("d"));
    fs::create_directories(Path("d"));
    const std::string saved = Path(("d/" + std::string(FileName(kind))).c_str());
    NewTable(4);
    ASSERT_EQ(SaveCode(kind, "d"), 0);
    const std::string old_bytes = ReadAll(saved);
    fs::create_hard_link(saved, Path("d/other"));
    NewTable(6);

    ASSERT_EQ(SaveCode(kind, "d"), 0);
    EXPECT_EQ(ReadAll(Path("d/other")), old_bytes);
    EXPECT_NE(ReadAll(saved), old_bytes);
    EXPECT_EQ(fs::hard_link_count(saved), 1u);
    EXPECT_EQ(fs::hard_link_count(Path("d/other")), 1u);
  }
}

// Lowers the process's file-size limit so that writes past `bytes` fail (with SIGXFSZ ignored),
// as a full disk would fail them.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    saved_signal_ = signal(SIGXFSZ, SIG_IGN);
    rlimit lower = saved_;
    lower.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, saved_signal_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t saved_signal_ = SIG_DFL;
};

TEST_F(SaveLinks, FailedWriteLeavesTheOldFileAndNoTemporaryFile) {
  for (Kind kind : kKinds) {
    for (bool via_link : {false, true}) {
      SCOPED_TRACE(std::string(FileName(kind)) + (via_link ? " via link" : ""));
      fs::remove_all(Path("d"));
      fs::remove_all(Path("store"));
      fs::create_directories(Path("d"));
      fs::create_directories(Path("store"));
      const std::string name = std::string("d/") + FileName(kind);
      if (via_link) {
        MakeLinks({name + ">../store/real"});
        WriteAll(Path("store/real"), "");
      }
      NewTable(4);
      ASSERT_EQ(SaveCode(kind, "d"), 0);
      const std::string real = via_link ? Path("store/real") : Path(name.c_str());
      const std::string old_bytes = ReadAll(real);
      const std::vector<std::string> before_d = Entries("d");
      const std::vector<std::string> before_store = Entries("store");
      NewTable(200000);  // a file far larger than the limit

      int code;
      {
        FileSizeLimit limit(64 * 1024);
        code = SaveCode(kind, "d");
      }
      EXPECT_EQ(code, Q7_ERROR_ILLEGAL_FILE_NAME);
      EXPECT_EQ(ReadAll(real), old_bytes);
      EXPECT_EQ(Entries("d"), before_d);
      EXPECT_EQ(Entries("store"), before_store);
    }
  }
}

}  // namespace
