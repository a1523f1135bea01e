#include "LinuxInk.hpp"

#include <omp.h>
#include <tesseract/baseapi.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <mutex>
#include <string>

#include "GrayRaster.hpp"
#include "Output.hpp"
#include "Text.hpp"

namespace halcy {

namespace {

using Engine = std::unique_ptr<tesseract::TessBaseAPI>;

// Loaded engines kept between pictures; more would only hold memory on two cores.
constexpr std::size_t idleEnginesKept = 2;
constexpr char language[] = "eng";

// Tesseract takes the picture's density for its layout rules; screens are about this.
constexpr int screenDpi = 96;

// Tesseract's lines run across a whole block, columns and all: a line is cut where two words
// stand further apart than this share of the line's height, so that each piece is one run of text
// as a reader sees it (as other recognisers report lines). Words are 0.2 to 0.4 of it apart.
constexpr double columnGap = 0.75;

struct Box {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

std::optional<Box> boxOf(const tesseract::ResultIterator& at, tesseract::PageIteratorLevel level) {
  Box box;
  if (!at.BoundingBox(level, &box.left, &box.top, &box.right, &box.bottom)) return std::nullopt;
  return box;
}

// Runs of words cut from the recognised lines, boxes normalised with the origin at the
// bottom-left.
class Runs {
 public:
  Runs(double width, double height) : width_(width), height_(height) {}

  void startLine(const std::optional<Box>& line) {
    close();
    lineHeight_ = line ? line->bottom - line->top : 0;
  }

  void add(const std::string& word, const Box& box) {
    if (open_ && box.left - run_.right > columnGap * lineHeight_) close();
    if (open_) {
      text_ += ' ';
      run_ = {std::min(run_.left, box.left), std::min(run_.top, box.top),
              std::max(run_.right, box.right), std::max(run_.bottom, box.bottom)};
    } else {
      run_ = box;
      open_ = true;
    }
    text_ += word;
  }

  std::vector<InkWords> take() {
    close();
    return std::move(runs_);
  }

 private:
  void close() {
    if (!open_) return;
    runs_.push_back({std::move(text_),
                     {run_.left / width_, 1.0 - run_.bottom / height_,
                      (run_.right - run_.left) / width_, (run_.bottom - run_.top) / height_}});
    text_.clear();
    open_ = false;
  }

  double width_;
  double height_;
  int lineHeight_ = 0;
  bool open_ = false;
  Box run_;
  std::string text_;
  std::vector<InkWords> runs_;
};

std::vector<InkWords> runsOf(tesseract::ResultIterator& words, double width, double height) {
  constexpr auto word = tesseract::RIL_WORD;
  Runs runs(width, height);
  do {
    if (words.IsAtBeginningOf(tesseract::RIL_TEXTLINE)) {
      runs.startLine(boxOf(words, tesseract::RIL_TEXTLINE));
    }
    if (words.Empty(word)) continue;
    std::unique_ptr<char[]> utf8(words.GetUTF8Text(word));
    const auto box = boxOf(words, word);
    if (!utf8 || !box) continue;
    // The recogniser's bytes are not checked by anyone else before they reach the wire.
    const std::string text = trimmedText(asUtf8(utf8.get()));
    if (!text.empty()) runs.add(text, *box);
  } while (words.Next(word));
  return runs.take();
}

}  // namespace

struct LinuxTextReader::Engines {
  std::mutex lock;
  std::vector<Engine> idle;
  // Without language data nothing is read until the engine runs again.
  bool missing = false;
  // An engine being loaded ahead of its first picture; last, so that it is awaited first when the
  // reader goes.
  std::future<Engine> loading;

  void prepare() {
    std::lock_guard guard(lock);
    if (missing || !idle.empty() || loading.valid()) return;
    loading = std::async(std::launch::async, [this] { return load(); });
  }

  Engine take() {
    std::future<Engine> pending;
    {
      std::lock_guard guard(lock);
      if (missing) return nullptr;
      if (!idle.empty()) {
        Engine engine = std::move(idle.back());
        idle.pop_back();
        return engine;
      }
      pending = std::move(loading);
    }
    return pending.valid() ? pending.get() : load();
  }

  void giveBack(Engine engine) {
    engine->Clear();
    std::lock_guard guard(lock);
    if (idle.size() < idleEnginesKept) idle.push_back(std::move(engine));
  }

  Engine load() {
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    if (engine->Init(nullptr, language, tesseract::OEM_LSTM_ONLY) == 0) {
      // The automatic page layout finds no text at all in a light window on a dark desktop; read
      // as one block, every line on the screen is found.
      engine->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
      return engine;
    }
    std::lock_guard guard(lock);
    if (!missing) {
      missing = true;
      writeAllIgnoringErrors(STDERR_FILENO,
                             "halcy-engine: text recognition has no English language data; ink "
                             "reads no text.\n");
    }
    return nullptr;
  }
};

LinuxTextReader::LinuxTextReader() : engines_(std::make_unique<Engines>()) {}

LinuxTextReader::~LinuxTextReader() = default;

void LinuxTextReader::prepare() {
  engines_->prepare();
}

std::vector<InkWords> LinuxTextReader::read(const Picture& picture) {
  if (picture.empty()) return {};
  const auto gray = GrayRaster::of(picture, picture.width, picture.height);
  if (!gray) return {};
  Engine engine = engines_->take();
  if (!engine) return {};
  // Tesseract's OpenMP loops ask for more threads than two cores have, which doubles its time:
  // every parallel region this thread starts runs on this thread alone.
  omp_set_max_active_levels(0);
  engine->SetImage(gray->data(), picture.width, picture.height, 1, picture.width);
  engine->SetSourceResolution(screenDpi);
  std::vector<InkWords> found;
  if (engine->Recognize(nullptr) == 0) {
    std::unique_ptr<tesseract::ResultIterator> words(engine->GetIterator());
    if (words) found = runsOf(*words, picture.width, picture.height);
  }
  engines_->giveBack(std::move(engine));
  return found;
}

LinuxInkHost::LinuxInkHost(std::shared_ptr<LinuxScreenShots> shots) : shots_(std::move(shots)) {}

bool LinuxInkHost::captureAllowed() {
  return shots_->captureAllowed();
}

DisplayList LinuxInkHost::displays() {
  return shots_->displays();
}

std::optional<Picture> LinuxInkHost::capture(const DisplayFact& display, const HidesWindow& hides) {
  const auto current = shots_->display(display.id);
  if (!current) return std::nullopt;
  auto picture = shots_->picture(current->bounds, hides);
  // Marks take the user seconds to draw: time enough to load the recogniser for the compose.
  if (picture) reader_.prepare();
  return picture;
}

std::vector<InkWords> LinuxInkHost::readText(const Picture& picture) {
  return reader_.read(picture);
}

}  // namespace halcy
