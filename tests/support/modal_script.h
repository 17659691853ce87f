// Plays the operator at modal dialogs: each DoModal runs the next step of the script with the
// live dialog instead of waiting for a person.
#pragma once

#include <deque>
#include <functional>
#include <stdexcept>

#include "platform/user/dialog.h"
#include "platform/user/ui_system.h"

namespace testing_support {

class ModalScript {
 public:
  using Step = std::function<int(CDialog&)>;

  ModalScript()
      : m_previous(platform::SetModalHandler([this](CDialog& dialog) {
          if (m_steps.empty()) {
            ++unexpected;
            return static_cast<int>(IDCANCEL_ANSWER);
          }
          Step step = std::move(m_steps.front());
          m_steps.pop_front();
          return step(dialog);
        })) {}
  ~ModalScript() { platform::SetModalHandler(m_previous); }
  ModalScript(const ModalScript&) = delete;
  ModalScript& operator=(const ModalScript&) = delete;

  ModalScript& Then(Step step) {
    m_steps.push_back(std::move(step));
    return *this;
  }
  bool Done() const { return m_steps.empty(); }

  int unexpected = 0;

 private:
  static constexpr int IDCANCEL_ANSWER = 2;
  std::deque<Step> m_steps;
  platform::ModalHandler m_previous;
};

}  // namespace testing_support
