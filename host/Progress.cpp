#include "host/Progress.h"

#include <unistd.h>

#include <cstdio>

namespace qwbhost {

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

Progress::Progress(std::string label, bool enabled) : label_(std::move(label)), enabled_(enabled) {}

Progress::~Progress() { Finish(); }

std::string Progress::Render(const std::string& label, unsigned long done, unsigned long total,
                             int width) {
  // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on label + "...".
  std::string bar;
  bar.append(label).append(" [");
  int filled = total == 0 ? 0 : static_cast<int>(done >= total ? width : done * width / total);
  bar.append(static_cast<size_t>(filled), '#');
  bar.append(static_cast<size_t>(width - filled), ' ');
  bar.append("] ").append(std::to_string(done));
  if (total) bar.append("/").append(std::to_string(total));
  return bar;
}

void Progress::Update(unsigned long done, unsigned long total) {
  if (!enabled_) return;
  std::fprintf(stderr, "\r%s", Render(label_, done, total, 30).c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void Progress::Finish() {
  if (!drawn_) return;
  std::fputc('\n', stderr);
  drawn_ = false;
}

}  // namespace qwbhost
