#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "FileSearch.hpp"

namespace halcy {
namespace {

TEST(FileSearch, NamesMatchAnywhereWhateverTheirCaseAndAccents) {
  struct Case {
    std::vector<std::string> names;
    std::string fileName;
    bool matches;
  };
  const std::vector<Case> cases = {
      {{"resume"}, "Résumé 2026.pdf", true},
      {{"RÉSUMÉ"}, "my-resume.txt", true},
      {{"résumé"}, "RESUME", true},
      {{"Résumé"}, "Re\xCC\x81sume\xCC\x81.odt", true},  // decomposed on disk
      {{"strasse"}, "Straße.txt", true},
      {{"STRASSE"}, "straße", true},
      {{"istanbul"}, "\xC4\xB0stanbul.jpg", true},  // capital I with a dot
      {{"ÅNGSTRÖM"}, "angstrom-notes", true},
      {{"report"}, "Quarterly REPORT final.docx", true},
      {{"report"}, "rep-ort.docx", false},
      {{"cafe"}, "Café crème.md", true},
      {{"café"}, "cafe", true},
      {{"crème"}, "CREME", true},
      {{"ñ"}, "Año.txt", true},
      {{"n"}, "Año.txt", true},
      {{"a*b"}, "a*b.txt", true},
      {{"a*b"}, "axb.txt", false},
      {{"a*b"}, "ab.txt", false},
      {{"?"}, "what?.txt", true},
      {{"?"}, "what.txt", false},
      {{"\\"}, "back\\slash", true},
      {{"zzz", "draft"}, "Draft v2", true},
      {{"zzz", "yyy"}, "Draft v2", false},
      {{"\xCC\x81"}, "Re\xCC\x81sume\xCC\x81", false},  // a mark alone is no name
      {{"日本"}, "日本語のメモ.txt", true},
      {{"ℌ"}, "h.txt", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(NameMatcher(c.names).matches(c.fileName), c.matches)
        << c.names.front() << " in " << c.fileName;
  }
}

FoundFileFact file(std::string path, double modified) {
  return FoundFileFact{path, path.substr(path.rfind('/') + 1), modified, 1};
}

std::vector<std::string> pathsOf(const std::vector<FoundFileFact>& files) {
  std::vector<std::string> paths;
  for (const auto& found : files) paths.push_back(found.path);
  return paths;
}

TEST(FileSearch, KeepsTheNewestFilesNewestFirst) {
  NewestFiles newest(3);
  newest.offer(file("/h/old", 1));
  newest.offer(file("/h/new", 50));
  newest.offer(file("/h/b-tie", 20));
  newest.offer(file("/h/a-tie", 20));
  newest.offer(file("/h/oldest", 0));
  newest.offer(file("/h/newest", 90));
  EXPECT_EQ(pathsOf(newest.newestFirst()),
            (std::vector<std::string>{"/h/newest", "/h/new", "/h/a-tie"}));
  EXPECT_FALSE(newest.wouldKeep(19));
  EXPECT_TRUE(newest.wouldKeep(20));
  EXPECT_TRUE(NewestFiles(1).wouldKeep(-5));
}

TEST(FileSearch, CollectsFromManyWalkersAtOnce) {
  NewestFiles newest(40);
  std::vector<std::thread> walkers;
  for (int walker = 0; walker < 4; ++walker) {
    walkers.emplace_back([&newest, walker] {
      for (int index = 0; index < 500; ++index) {
        const double modified = index * 4 + walker;
        if (newest.wouldKeep(modified)) {
          newest.offer(file("/h/" + std::to_string(static_cast<int>(modified)), modified));
        }
      }
    });
  }
  for (auto& walker : walkers) walker.join();
  const auto kept = newest.newestFirst();
  ASSERT_EQ(kept.size(), 40u);
  EXPECT_EQ(kept.front().path, "/h/1999");
  EXPECT_EQ(kept.back().path, "/h/1960");
}

TEST(FileSearch, AnswersInFieldOrderWithNullsForUnknownFacts) {
  FilesFound found{{FoundFileFact{"/h/a b.txt", "a b.txt", 1767225600123.5, 12},
                    FoundFileFact{"/h/c", "c", std::nullopt, std::nullopt}},
                   true};
  EXPECT_EQ(
      found.toJson().dump(),
      R"({"files":[{"path":"/h/a b.txt","name":"a b.txt","modified":1767225600123.5,"bytes":12},)"
      R"({"path":"/h/c","name":"c","modified":null,"bytes":null}],"timedOut":true})");
}

}  // namespace
}  // namespace halcy
