// A progress bar on standard error, drawn only when standard error is a terminal so that
// logs and pipes stay clean.
#pragma once

#include <string>

namespace qwbhost {

class Progress {
 public:
  // enabled: draw at all (the caller passes isatty(2) or a test's choice).
  Progress(std::string label, bool enabled);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // done of total (total 0: unknown).
  void Update(unsigned long done, unsigned long total);
  // Ends the bar's line.
  void Finish();

  // The bar's text for done/total, as drawn (without the carriage return).
  static std::string Render(const std::string& label, unsigned long done, unsigned long total,
                            int width);

 private:
  std::string label_;
  bool enabled_;
  bool drawn_ = false;
};

// Whether standard error is a terminal.
bool StderrIsTerminal();

}  // namespace qwbhost
