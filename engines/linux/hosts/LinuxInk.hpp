#pragma once
// The ink host on an X11 desktop: whole displays at one pixel a point through the screen's grabs
// and hide rule, and the lines of text in a picture read by Tesseract.

#include <memory>
#include <optional>
#include <vector>

#include "Ink.hpp"
#include "LinuxScreen.hpp"

namespace halcy {

// Text recognition with Tesseract's English data, one thread per picture. An engine takes a second
// or so to load: it is loaded when asked to prepare, or on first use, and kept for the next
// pictures.
class LinuxTextReader {
 public:
  LinuxTextReader();
  ~LinuxTextReader();
  LinuxTextReader(const LinuxTextReader&) = delete;
  LinuxTextReader& operator=(const LinuxTextReader&) = delete;

  // Starts loading an engine, unless one is ready or on its way.
  void prepare();
  // The runs of text in the picture (its lines, cut where words stand a column apart), boxes
  // normalised with the origin at the bottom-left; none without language data.
  std::vector<InkWords> read(const Picture& picture);

  struct Engines;

 private:
  std::unique_ptr<Engines> engines_;
};

class LinuxInkHost final : public InkHost {
 public:
  // `shots` is the screen host's: one grabber for every picture of the screen.
  explicit LinuxInkHost(std::shared_ptr<LinuxScreenShots> shots);

  bool captureAllowed() override;
  DisplayList displays() override;
  std::optional<Picture> capture(const DisplayFact& display, const HidesWindow& hides) override;
  std::vector<InkWords> readText(const Picture& picture) override;

 private:
  std::shared_ptr<LinuxScreenShots> shots_;
  LinuxTextReader reader_;
};

}  // namespace halcy
