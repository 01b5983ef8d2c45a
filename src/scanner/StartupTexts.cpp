#include "scanner/StartupTexts.h"

#include "engine/KestoEngine.h"
#include "platform/ProgramFolder.h"
#include "product/Product.h"

namespace StartupTexts {

SplashStep NextSplashStep(int value) {
    SplashStep step;
    if (value < 45) {
        step.value = value + 1;
    } else if (value == 45) {
        step.value = 67;
    } else if (value >= 67 && value <= 86) {
        step.value = value + 4;
        step.intervalMs = 250;
    } else if (value == 87) {
        step.value = 91;
    } else if (value == 91) {
        step.value = 97;
        step.intervalMs = 550;
    } else if (value == 97) {
        step.value = 100;
    } else {
        // 100, and any value the sequence never produces, ends the splash.
        step.value = value;
        step.handOver = true;
    }
    return step;
}

std::string DatabaseNotFoundText(std::string_view programFolder) {
    return "Sorry...\r\nFile ''" + std::string(programFolder) + platform::kPathSeparator +
           std::string(KestoEngine::kDatabaseFileName) +
           "'' Nothing found.\r\nKesto Virus Scanner can not perform this command.\r\n"
           "Please download again " +
           std::string(Product::kWebSite);
}

} // namespace StartupTexts
