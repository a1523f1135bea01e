#include "Ink.hpp"

#include <algorithm>

#include "Deadline.hpp"

namespace halcy {

namespace {

template <class Record, class Value>
void inOrder(const std::vector<std::int64_t>& order, const std::map<std::int64_t, Value>& values,
             std::vector<Record>& records) {
  for (const std::int64_t number : order) {
    const auto found = values.find(number);
    if (found != values.end()) records.push_back(Record{number, found->second});
  }
}

}  // namespace

InkController::InkController(std::unique_ptr<InkHost> host, double deadline)
    : host_(std::move(host)), deadline_(deadline) {}

InkCaptured InkController::capture(const InkCapture& request, bool meetingRunning) {
  if (meetingRunning) throw EngineFailure(ErrorCode::busy, "A meeting's capture holds the screen.");
  if (!host_->captureAllowed()) {
    throw EngineFailure(ErrorCode::notPermitted, "Screen Recording is not granted.");
  }
  const DisplayList displays = host_->displays();
  const auto display = InkRules::display(request.x, request.y, displays.all, displays.main);
  if (!display) throw EngineFailure(ErrorCode::failed, "No display to capture.");
  auto picture = Deadline::first<Picture>(
      deadline_, [host = host_, chosen = *display,
                  hides = DesktopRules::hiding(request.excludePids, request.neverLook)] {
        return host->capture(chosen, hides);
      });
  if (!picture || picture->empty()) {
    throw EngineFailure(ErrorCode::failed, "No picture of the screen arrived.");
  }
  const PixelSize pixels{picture->width, picture->height};
  const std::int64_t handle = hold({std::move(*picture), display->bounds});
  return InkCaptured{handle, display->bounds, pixels};
}

InkComposed InkController::compose(const InkCompose& request) {
  const std::map<std::int64_t, InkComposer::Held> held = snapshot();
  InkComposed answer;
  if (request.context) {
    const auto shown = held.find(*request.context);
    if (shown != held.end())
      answer.context = InkComposer::contextPicture(shown->second, request.marks);
  }
  const auto composite = InkComposer::compose(request.marks, request.pieces, held);
  if (!composite) return answer;
  auto inked = InkComposer::inked(*composite, request.marks);
  if (!inked) return answer;
  std::vector<std::int64_t> order;
  for (const InkComposeMark& mark : request.marks) order.push_back(mark.n);
  std::map<std::int64_t, std::string> texts;
  // Recognised in the picture as it was before the marks were drawn over the text.
  if (request.readText) {
    texts = InkComposer::words(host_->readText(composite->image), *composite, order);
    std::erase_if(texts, [](const auto& entry) { return entry.second.empty(); });
  }
  answer.image = std::move(inked->base64);
  inOrder(order, inked->rects, answer.rects);
  for (const std::int64_t number : order) {
    const auto ends = inked->ends.find(number);
    if (ends != inked->ends.end())
      answer.ends.push_back({number, ends->second.from, ends->second.to});
  }
  inOrder(order, texts, answer.text);
  return answer;
}

NoResult InkController::release(const InkRelease& request) {
  std::lock_guard guard(lock_);
  std::erase_if(captures_, [&](const auto& capture) {
    return std::find(request.captures.begin(), request.captures.end(), capture.first) !=
           request.captures.end();
  });
  return {};
}

std::vector<std::int64_t> InkController::held() const {
  std::lock_guard guard(lock_);
  std::vector<std::int64_t> handles;
  for (const auto& capture : captures_) handles.push_back(capture.first);
  return handles;
}

std::int64_t InkController::hold(InkComposer::Held held) {
  std::lock_guard guard(lock_);
  const std::int64_t handle = nextId_++;
  captures_.emplace_back(handle, std::move(held));
  while (captures_.size() > InkLimits::capturesKept) captures_.erase(captures_.begin());
  return handle;
}

std::map<std::int64_t, InkComposer::Held> InkController::snapshot() const {
  std::lock_guard guard(lock_);
  return {captures_.begin(), captures_.end()};
}

}  // namespace halcy
