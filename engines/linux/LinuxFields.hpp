#pragma once
// The field host on an X11 desktop: the focused element through AT-SPI, the clipboard through the
// engine's own selection window, the paste keystroke through XTEST.

#include <atomic>
#include <memory>

#include "Fields.hpp"
#include "LinuxClipboard.hpp"
#include "LinuxPaste.hpp"

namespace halcy {

class LinuxFieldHost final : public FieldHost {
 public:
  LinuxFieldHost();

  bool trusted() override;
  std::optional<std::int64_t> primeFront() override;
  HostFocus focus(std::int64_t surroundingChars, std::optional<std::int64_t> pid) override;
  std::optional<FrontApp> app(std::int64_t pid) override;
  std::optional<std::string> value(const Element& element) override;
  SavedClipboard saveClipboard() override;
  std::int64_t writeClipboard(const std::string& text, bool transient) override;
  std::int64_t clipboardChangeCount() override;
  void restoreClipboard(const Contents& contents) override;
  void paste() override;

 private:
  LinuxClipboard& clipboard();

  std::unique_ptr<LinuxClipboard> clipboard_;
  LinuxPaste paste_;
  std::atomic<bool> trusted_{false};
};

}  // namespace halcy
