#include "cli/salvage.h"

namespace qf {

std::unique_ptr<CGetdatactrl1> MakeOrxControl(bool salvage, const std::shared_ptr<SalvageLog>& log) {
    return std::make_unique<CGetdatactrl1>(std::make_unique<OrxControl>(salvage, log));
}

}  // namespace qf
