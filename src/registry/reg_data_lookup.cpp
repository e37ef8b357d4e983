#include "registry/reg_data_lookup.h"

#include "main/extract_file.h"
#include "registry/registry_conventions.h"

namespace tarnscan {

void LookUpRegData(ScanContext& context, std::string_view data) {
  context.reg_file = ExtractFileFromRegData(context, data);
  context.reg_company = CompanySuffix(context, context.reg_file);
}

}  // namespace tarnscan
