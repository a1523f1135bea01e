// halcy-engine: reads request lines on standard input and answers on standard output.

#include <fcntl.h>
#include <glib.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "Dispatcher.hpp"
#include "Entry.hpp"
#include "LinuxDesk.hpp"
#include "LinuxDictation.hpp"
#include "LinuxFields.hpp"
#include "LinuxHost.hpp"
#include "LinuxInk.hpp"
#include "LinuxKeys.hpp"
#include "LinuxMedia.hpp"
#include "LinuxOutline.hpp"
#include "LinuxOutputVolume.hpp"
#include "LinuxPointer.hpp"
#include "LinuxScreen.hpp"

namespace {

using namespace halcy;

// A parent that left a standard descriptor closed would see the next descriptor the engine opens
// (the X connection, say) take its number: replies would go into that socket and input would be
// read from it. /dev/null stands in for each closed one before anything else is opened.
void reserveStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", fd == STDIN_FILENO ? O_RDONLY : O_WRONLY);
    if (opened < 0 || opened == fd) continue;
    ::dup2(opened, fd);
    ::close(opened);
  }
}

[[noreturn]] void runTrial(const TrialSwitch&) {
  // The system-audio trial needs the meeting's system capture, which this build does not have.
  std::fputs("spike failed: The system-audio trial is not available in this build.\n", stderr);
  std::_Exit(1);
}

// Replies to requests that arrived before the end of input are not lost to it; a request that is
// still hanging after this long is given up.
constexpr auto answerPatienceAtExit = std::chrono::seconds(5);

// The field host, so that its clipboard can be handed to a clipboard manager before the exit.
LinuxFieldHost* fieldHost = nullptr;

[[noreturn]] void shutDownAndExit(Dispatcher& dispatcher, SerialLineWriter& writer) {
  dispatcher.awaitAnswers(answerPatienceAtExit);
  dispatcher.shutdown();
  if (fieldHost != nullptr) fieldHost->handOverClipboard();
  writer.flush();
  // Requests still running are not awaited: leave without running destructors under their feet.
  std::_Exit(0);
}

void readInput(Dispatcher& dispatcher, SerialLineWriter& writer) {
  InputLines lines([&](std::string line) {
    if (!line.empty()) dispatcher.receive(std::move(line));
  });
  std::vector<char> buffer(1 << 16);
  for (;;) {
    const ssize_t count = ::read(STDIN_FILENO, buffer.data(), buffer.size());
    if (count > 0) {
      lines.feed(std::string_view(buffer.data(), static_cast<std::size_t>(count)));
      continue;
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) {
      const std::string message =
          std::string("halcy-engine: input failed: ") + std::strerror(errno) + "\n";
      writeAllIgnoringErrors(STDERR_FILENO, message);
    } else {
      lines.finish();
    }
    shutDownAndExit(dispatcher, writer);
  }
}

}  // namespace

int main(int argc, char** argv) {
  reserveStandardDescriptors();
  const std::vector<std::string> arguments(argv, argv + argc);
  if (auto trial = TrialSwitch::parse(arguments)) runTrial(*trial);
  if (hasSwitch(arguments, promptAccessibilitySwitch)) LinuxHost::switchAccessibilityOn();
  std::signal(SIGPIPE, SIG_IGN);

  static SerialLineWriter writer(
      [](std::string_view bytes) { writeAllIgnoringErrors(STDOUT_FILENO, bytes); });
  auto sound = std::make_shared<LinuxSound>();
  auto x = std::make_shared<XConnection>();
  EngineAreas areas = EngineAreas::unbuilt();
  areas.dictation = makeLinuxDictationArea(writer, sound);
  areas.volume =
      std::make_shared<VolumeController>(std::make_unique<LinuxOutputVolume>(sound), writer);
  auto display = std::make_shared<LinuxDisplay>(x);
  auto atspi = std::make_shared<AtSpi>();
  auto fields = std::make_unique<LinuxFieldHost>(display, atspi);
  fieldHost = fields.get();
  areas.fields = std::make_shared<FieldController>(std::move(fields));
  auto input = std::make_shared<LinuxInput>(x);
  auto secure = std::make_shared<LinuxSecureInput>(display, input, atspi);
  areas.keys = KeysController::make(std::make_unique<LinuxKeys>(display, input, secure), writer,
                                    uptimeSeconds);
  areas.pointer = std::make_shared<PointerController>(
      std::make_unique<LinuxPointer>(display, input, atspi, secure), writer, uptimeSeconds);
  areas.outline = std::make_shared<OutlineController>(
      std::make_unique<LinuxOutlineHost>(display, atspi), writer, uptimeSeconds);
  // Screen pictures and ink captures are taken by one grabber.
  auto shots = std::make_shared<LinuxScreenShots>(display);
  areas.screen =
      std::make_shared<ScreenController>(std::make_unique<LinuxScreenHost>(atspi, shots));
  areas.ink = std::make_shared<InkController>(std::make_unique<LinuxInkHost>(shots));
  areas.desk = std::make_shared<LinuxDesk>(userHomeFolder());
  areas.calendar = std::make_shared<CalendarController>(
      std::make_unique<LinuxCalendar>(userHomeFolder(), userDataFolder()));
  areas.media = std::make_shared<MediaController>(std::make_unique<LinuxMedia>());
  static Dispatcher dispatcher(std::make_shared<LinuxHost>(sound, x), writer, std::move(areas));

  std::thread(readInput, std::ref(dispatcher), std::ref(writer)).detach();

  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  g_main_loop_run(loop);
  return 0;
}
