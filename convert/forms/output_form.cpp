#include "convert/forms/output_form.h"

namespace qc {

std::unique_ptr<OutputForm> MakeOutputForm(const RunRequest& request, StoreSteps* stores,
                                           PathStyle style) {
  switch (request.form) {
    case Form::EML:
      return MakeEmlForm(request);
    case Form::EMLX:
      return MakeEmlxForm(request);
    case Form::MSG:
      return MakeMsgForm(stores, request);
    case Form::PST:
      break;
  }
  if (!request.singleStore.empty()) return MakeSingleStoreForm(stores, request, style);
  return MakePstForm(stores, request);
}

}  // namespace qc
