#include "tests/support/browser.h"

#include <chrono>
#include <fstream>
#include <sstream>

#include "tests/support/child_process.h"
#include "tests/support/read_file.h"

namespace testing_support {

RenderedPage RenderInChromium(const std::string& page, const std::string& script, const std::string& workDir) {
  std::string shown = page;
  if (!script.empty()) {
    std::string text = ReadWholeFile(page);
    const std::size_t end = text.rfind("</body>");
    text.insert(end == std::string::npos ? text.size() : end, "<script>" + script + "</script>\n");
    shown = workDir + "/scripted.html";
    std::ofstream(shown) << text;
  }
  const std::string out = workDir + "/dom.html";
  const std::string err = workDir + "/browser.log";
  ChildProcess browser(
      {"/usr/bin/chromium", "--headless", "--no-sandbox", "--disable-gpu", "--no-first-run",
       "--user-data-dir=" + workDir + "/profile", "--enable-logging=stderr", "--v=0", "--dump-dom", "file://" + shown},
      {}, out, err);
  RenderedPage rendered;
  const std::optional<int> status = browser.Wait(std::chrono::seconds(60));
  rendered.rendered = status && *status == 0;
  rendered.dom = ReadWholeFile(out);
  std::istringstream lines(ReadWholeFile(err));
  for (std::string line; std::getline(lines, line);) {
    if (line.find(":CONSOLE") != std::string::npos) rendered.console += line + "\n";
  }
  return rendered;
}

}  // namespace testing_support
