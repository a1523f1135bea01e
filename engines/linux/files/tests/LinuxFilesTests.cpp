// The home-folder walk against a real tree with the things a home folder holds: hidden files,
// caches, links that lead in circles or nowhere, names that are not UTF-8.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "LinuxFiles.hpp"
#include "TempFolder.hpp"

namespace halcy {
namespace {

namespace fs = std::filesystem;

struct Home {
  // A file changed `seconds` after 2026-01-01.
  void file(const std::string& relative, long seconds, const std::string& text = "x") const {
    const fs::path path = root / relative;
    fs::create_directories(path.parent_path());
    std::ofstream(path) << text;
    const timeval times[2] = {{1767225600 + seconds, 0}, {1767225600 + seconds, 0}};
    ::utimes(path.c_str(), times);
  }

  TempFolder made{"files"};
  const fs::path& root = made.path;
};

FilesFound search(const Home& home, std::vector<std::string> names, std::int64_t limit = 40) {
  LinuxFileSearch files(home.root.string());
  return files.search(FilesSearch{std::move(names), limit, 5000});
}

std::vector<std::string> namesOf(const FilesFound& found) {
  std::vector<std::string> names;
  for (const auto& file : found.files) names.push_back(file.name);
  return names;
}

TEST(LinuxFiles, FindsMatchingFilesNewestFirstAndLeavesOutWhatUsersDoNotSee) {
  Home home;
  home.file("Documents/Résumé 2026.pdf", 300, "twelve bytes");
  home.file("Documents/old/RESUME.txt", 100);
  home.file("Documents/Re\xCC\x81sume\xCC\x81 draft.odt", 200);
  home.file("Music/song.mp3", 400);
  home.file(".hidden/resume.txt", 500);
  home.file(".resume", 500);
  home.file("Downloads/.resume.swp", 500);
  home.file("build/CACHEDIR.TAG", 500, "Signature: 8a477f597d28d172789f06886806bc55");
  home.file("build/resume.o", 500);
  home.file("Desktop/resume\xFF.txt", 500);
  fs::create_directories(home.root / "resume folder");
  fs::create_symlink(home.root / "Documents", home.root / "resume-docs");
  fs::create_symlink(home.root, home.root / "Documents/loop");
  fs::create_symlink(home.root / "gone", home.root / "resume-broken");
  fs::create_symlink(home.root / "Documents/old/RESUME.txt", home.root / "resume-link");
  ::mkfifo((home.root / "resume.fifo").c_str(), 0600);

  const auto found = search(home, {"résumé"});
  EXPECT_FALSE(found.timedOut);
  EXPECT_EQ(namesOf(found),
            (std::vector<std::string>{"Résumé 2026.pdf", "Re\xCC\x81sume\xCC\x81 draft.odt",
                                      "RESUME.txt", "resume-link"}));
  const auto& newest = found.files.front();
  EXPECT_EQ(newest.path, (home.root / "Documents/Résumé 2026.pdf").string());
  EXPECT_EQ(newest.bytes, 12);
  EXPECT_EQ(newest.modified, (1767225600.0 + 300) * 1000);
  // A link has its target's facts; equally new files come in path order.
  EXPECT_EQ(found.files[3].path, (home.root / "resume-link").string());
  EXPECT_EQ(found.files[3].modified, found.files[2].modified);

  EXPECT_EQ(namesOf(search(home, {"RESUME"}, 2)),
            (std::vector<std::string>{"Résumé 2026.pdf", "Re\xCC\x81sume\xCC\x81 draft.odt"}));
  EXPECT_EQ(namesOf(search(home, {"nothing", "SONG"})), std::vector<std::string>{"song.mp3"});
}

TEST(LinuxFiles, AHomeThatIsNotThereFindsNothing) {
  LinuxFileSearch files("/nonexistent/home");
  const auto found = files.search(FilesSearch{{"a"}, 40, 100});
  EXPECT_TRUE(found.files.empty());
  EXPECT_FALSE(found.timedOut);
  LinuxFileSearch noHome("");
  EXPECT_TRUE(noHome.search(FilesSearch{{"a"}, 40, 100}).files.empty());
}

TEST(LinuxFiles, PatienceRunningOutAnswersWhatWasFoundSoFar) {
  Home home;
  for (int index = 0; index < 3000; ++index) {
    home.file("a" + std::to_string(index % 30) + "/b" + std::to_string(index) + "/log.txt", index);
  }
  LinuxFileSearch files(home.root.string());
  // Far less time than walking 3000 folders takes; the wire never asks for less than 100 ms.
  const auto hurried = files.search(FilesSearch{{"LOG"}, 40, 1});
  EXPECT_TRUE(hurried.timedOut);
  EXPECT_TRUE(std::is_sorted(
      hurried.files.begin(), hurried.files.end(),
      [](const FoundFileFact& a, const FoundFileFact& b) { return a.modified > b.modified; }));
  const auto patient = files.search(FilesSearch{{"LOG"}, 40, 5000});
  EXPECT_FALSE(patient.timedOut);
  ASSERT_EQ(patient.files.size(), 40u);
  EXPECT_EQ(patient.files.front().path, (home.root / "a29/b2999/log.txt").string());
}

TEST(LinuxFiles, ManySearchesAtOnceEachGetTheirOwnAnswer) {
  Home home;
  for (int index = 0; index < 50; ++index) {
    home.file("f" + std::to_string(index % 5) + "/note-" + std::to_string(index) + ".txt", index);
  }
  LinuxFileSearch files(home.root.string());
  std::vector<std::thread> searches;
  std::vector<std::size_t> counts(6);
  for (std::size_t index = 0; index < counts.size(); ++index) {
    searches.emplace_back([&, index] {
      counts[index] =
          files.search(FilesSearch{{"note-" + std::to_string(index)}, 40, 5000}).files.size();
    });
  }
  for (auto& search : searches) search.join();
  // "note-1" also matches note-10 to note-19.
  EXPECT_EQ(counts, (std::vector<std::size_t>{1, 11, 11, 11, 11, 1}));
}

}  // namespace
}  // namespace halcy
