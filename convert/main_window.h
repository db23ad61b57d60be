// The main window as the conversion run sees it: its option buttons, its mailbox list, the
// Convert button and the progress area, plus the shell services it owns.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "convert/form.h"
#include "util/ui.h"

namespace qc {

class MainWindow : public Screen, public Shell {
 public:
  // The chosen option button (OptEML, OptEMLX, OptPST, OptMSG), or none.
  virtual std::optional<Form> chosenForm() = 0;
  // The rows of the mailbox list in order; an empty list gives no rows.
  virtual std::vector<std::string> mailboxRows() = 0;
  // Marks the row being converted.
  virtual void selectRow(std::size_t row) = 0;
  virtual void setConvertEnabled(bool enabled) = 0;
  // Deselects the four option buttons, so the next run asks for a choice again.
  virtual void clearOptions() = 0;
};

}  // namespace qc
