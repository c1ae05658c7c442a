#include "cli/salvage.h"

namespace qf {

std::unique_ptr<CGetdatactrl1> MakeOrxControl(bool salvage, const std::shared_ptr<SalvageLog>& log) {
    return MakeRunControl(salvage, log);
}

}  // namespace qf
