// Stands in for the operator at message boxes: records every box and answers it.
#pragma once

#include <vector>

#include "platform/user/message_box.h"

namespace testing_support {

class MessageBoxRecorder {
 public:
  explicit MessageBoxRecorder(int answer = IDOK)
      : m_previous(platform::SetMessageBoxHandler([this, answer](const platform::MessageBoxRequest& request) {
          boxes.push_back(request);
          return answer;
        })) {}
  ~MessageBoxRecorder() { platform::SetMessageBoxHandler(m_previous); }
  MessageBoxRecorder(const MessageBoxRecorder&) = delete;
  MessageBoxRecorder& operator=(const MessageBoxRecorder&) = delete;

  std::vector<platform::MessageBoxRequest> boxes;

 private:
  platform::MessageBoxHandler m_previous;
};

}  // namespace testing_support
