#include "LinuxInk.hpp"

#include <omp.h>
#include <tesseract/baseapi.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "Graphemes.hpp"
#include "GrayRaster.hpp"
#include "Output.hpp"

namespace halcy {

namespace {

using Engine = std::unique_ptr<tesseract::TessBaseAPI>;

// Loaded engines kept between pictures; more would only hold memory on two cores.
constexpr std::size_t idleEnginesKept = 2;
constexpr char language[] = "eng";

// Tesseract takes the picture's density for its layout rules; screens are about this.
constexpr int screenDpi = 96;

std::optional<InkWords> lineAt(tesseract::ResultIterator& lines, double width, double height) {
  constexpr auto level = tesseract::RIL_TEXTLINE;
  std::unique_ptr<char[]> utf8(lines.GetUTF8Text(level));
  if (!utf8) return std::nullopt;
  std::string text = trimmedText(utf8.get());
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  if (text.empty() || !lines.BoundingBox(level, &left, &top, &right, &bottom)) return std::nullopt;
  return InkWords{
      std::move(text),
      {left / width, 1.0 - bottom / height, (right - left) / width, (bottom - top) / height}};
}

}  // namespace

struct LinuxTextReader::Engines {
  std::mutex lock;
  std::vector<Engine> idle;
  bool toldMissing = false;

  Engine take() {
    {
      std::lock_guard guard(lock);
      if (!idle.empty()) {
        Engine engine = std::move(idle.back());
        idle.pop_back();
        return engine;
      }
    }
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    if (engine->Init(nullptr, language, tesseract::OEM_LSTM_ONLY) == 0) return engine;
    std::lock_guard guard(lock);
    if (!toldMissing) {
      toldMissing = true;
      writeAllIgnoringErrors(STDERR_FILENO,
                             "halcy-engine: text recognition has no English language data; ink "
                             "reads no text.\n");
    }
    return nullptr;
  }

  void giveBack(Engine engine) {
    engine->Clear();
    std::lock_guard guard(lock);
    if (idle.size() < idleEnginesKept) idle.push_back(std::move(engine));
  }
};

LinuxTextReader::LinuxTextReader() : engines_(std::make_unique<Engines>()) {}

LinuxTextReader::~LinuxTextReader() = default;

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
    std::unique_ptr<tesseract::ResultIterator> lines(engine->GetIterator());
    if (lines) {
      do {
        if (auto line = lineAt(*lines, picture.width, picture.height)) found.push_back(*line);
      } while (lines->Next(tesseract::RIL_TEXTLINE));
    }
  }
  engines_->giveBack(std::move(engine));
  return found;
}

LinuxInkHost::LinuxInkHost(std::shared_ptr<LinuxDisplay> display)
    : display_(display), shots_(std::move(display)) {}

bool LinuxInkHost::captureAllowed() {
  return display_->link().has_value();
}

DisplayList LinuxInkHost::displays() {
  return shots_.displays();
}

std::optional<Picture> LinuxInkHost::capture(const DisplayFact& display, const HidesWindow& hides) {
  const auto current = shots_.display(display.id);
  if (!current) return std::nullopt;
  return shots_.picture(current->bounds, hides);
}

std::vector<InkWords> LinuxInkHost::readText(const Picture& picture) {
  return reader_.read(picture);
}

}  // namespace halcy
