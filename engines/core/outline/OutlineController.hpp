#pragma once
// The outline area over a host that does every desktop call: outlines held by id, their controls'
// frames and states by ref, searches that keep refs stable, and change notices of one watched
// application.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "Clock.hpp"
#include "FrontApp.hpp"
#include "Outline.hpp"
#include "OutlineRules.hpp"

namespace halcy {

// An element of the host's accessibility tree; the core keeps it without looking inside.
struct OutlineElementRef {
  virtual ~OutlineElementRef() = default;
};
using OutlineElement = std::shared_ptr<const OutlineElementRef>;

struct OutlineFound {
  std::string role;
  std::string name;
  ScreenRect frame;
  bool menuBar = false;
  OutlineElement element;
};

struct OutlineWalk {
  bool refused = false;
  std::optional<ScreenRect> window;
  std::vector<OutlineFound> found;
};

// A notification the observed application sent, with what the element it is about says of itself.
struct OutlineHeard {
  std::string notification;
  std::optional<std::string> role;
  std::optional<std::string> title;
  std::optional<std::string> description;
};

struct ElementFacts {
  std::optional<std::string> value;  // never read for a secure element
  bool secure = false;
  std::optional<bool> selected;
  std::optional<bool> expanded;
  std::optional<bool> enabled;
};

struct ElementClips {
  std::optional<ScreenRect> scrollArea;
  std::optional<ScreenRect> window;
};

class OutlineHost {
 public:
  using Element = OutlineElement;
  using Sink = std::function<void(const OutlineHeard&)>;

  virtual ~OutlineHost() = default;
  virtual bool trusted() = 0;
  virtual std::optional<FrontApp> app(std::int64_t pid) = 0;
  virtual OutlineWalk walk(std::int64_t pid, double budgetSeconds) = 0;
  virtual std::optional<ScreenRect> frame(const Element& element) = 0;
  virtual std::optional<ElementFacts> facts(const Element& element) = 0;
  virtual ElementClips clips(const Element& element) = 0;
  virtual bool same(const Element& a, const Element& b) = 0;
  // Replaces any earlier observation; the sink may be called on any thread, also briefly after
  // the observation was replaced or stopped.
  virtual void observe(std::int64_t pid, Sink sink) = 0;
  virtual void stopObserving() = 0;

  // The same questions for several elements at once, answers in order. A host whose platform can
  // ask them together overrides these, so that a request for many refs costs about one query.
  virtual std::vector<std::optional<ScreenRect>> framesOf(const std::vector<Element>& elements);
  virtual std::vector<std::optional<ElementFacts>> factsOf(const std::vector<Element>& elements);
  virtual std::vector<ElementClips> clipsOf(const std::vector<Element>& elements);
};

class OutlineController final : public OutlineArea {
 public:
  OutlineController(std::unique_ptr<OutlineHost> host, LineOutput& output, Clock clock);
  ~OutlineController() override;

  Outline read(const OutlineRead& request) override;
  OutlineFramesRead frames(const OutlineFrames& request) override;
  OutlineStates state(const OutlineFrames& request) override;
  OutlineFramesRead visible(const OutlineFrames& request) override;
  OutlineFoundControls find(const OutlineFind& request) override;
  OutlineWatching watch(const OutlineWatch& request) override;
  void shutdown() override;

 private:
  struct Held {
    std::int64_t id = 0;
    std::int64_t pid = 0;
    bool gated = false;
    std::vector<OutlineElement> elements;
  };
  // The tables, shared with the change handler, which holds them weakly.
  struct Tables {
    explicit Tables(LineOutput& output) : output(output) {}
    LineOutput& output;
    std::mutex lock;
    std::vector<Held> held;
    std::int64_t nextId = 1;
    std::optional<std::int64_t> watched;
  };

  FrontApp running(std::int64_t pid);
  std::int64_t hold(std::int64_t pid, bool gated, std::vector<OutlineElement> elements);
  Held heldOutline(std::int64_t id);
  // The held elements behind the refs, none for a ref past the end.
  std::vector<std::optional<std::size_t>> indexes(const Held& held,
                                                  const std::vector<std::int64_t>& refs);
  template <class Answer>
  std::vector<std::optional<Answer>> perRef(
      const OutlineFrames& request,
      const std::function<std::vector<Answer>(const std::vector<OutlineElement>&)>& ask);
  static void heard(const std::weak_ptr<Tables>& tables, std::int64_t pid, const Clock& clock,
                    const OutlineHeard& change);

  std::unique_ptr<OutlineHost> host_;
  Clock clock_;
  std::shared_ptr<Tables> tables_;
  // Watch changes one at a time, so that the host observes the application last recorded as
  // watched even when two watches race.
  std::mutex watching_;
};

}  // namespace halcy
