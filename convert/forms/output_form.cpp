#include "convert/forms/output_form.h"

namespace qc {

std::unique_ptr<OutputForm> MakeOutputForm(Form form, StoreSteps* stores,
                                           const std::string& fallbackCharset) {
  switch (form) {
    case Form::EML:
      return MakeEmlForm();
    case Form::EMLX:
      return MakeEmlxForm();
    case Form::MSG:
      return MakeMsgForm(stores, fallbackCharset);
    case Form::PST:
      break;
  }
  return MakePstForm(stores, fallbackCharset);
}

}  // namespace qc
