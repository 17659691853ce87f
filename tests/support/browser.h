// A page as headless Chromium renders it: the document after it has loaded, with a script of
// the test's own run on it first, and what the browser reported on its console.
#pragma once

#include <string>

namespace testing_support {

struct RenderedPage {
  bool rendered = false;  // the browser ran and dumped the document
  std::string dom;
  std::string console;  // the console's messages, one a line
};

// Renders the file `page` as it is (an .xhtml page is parsed as XML, so any error of form shows
// as a parser error in the document), with `script` appended to its body when not empty. The
// browser's profile and outputs go into `workDir`.
RenderedPage RenderInChromium(const std::string& page, const std::string& script, const std::string& workDir);

}  // namespace testing_support
