#include "branding/Edition.h"

#include "branding/BuildInfo.h"

std::string BuildYearOf(const std::string& buildDate) {
    if (buildDate.size() <= 4) return {};
    return buildDate.substr(buildDate.size() - 4);
}

EditionInfo EditionFor(const std::string& editionId) {
    if (editionId == "KESTRA") return {"Kestra", "TOLQ.hlp", "2.2"};
    if (editionId == "BOLVANE") return {"Bolvane", "bolvane.html", "1.4"};
    if (editionId == "TORMEX") return {"TORMEX", "tormex.html", "1.4"};
    return {"kov", "kov.hlp", "1.4"};
}

const std::string EditionId = KOV_EDITION_ID;
const std::string ProductName = EditionFor(KOV_EDITION_ID).productName;
const std::string HelpFileName = EditionFor(KOV_EDITION_ID).helpFileName;
const std::string FrameworkVersion = EditionFor(KOV_EDITION_ID).frameworkVersion;
const std::string BuildDate = KOV_BUILD_DATE;
const std::string BuildYear = BuildYearOf(KOV_BUILD_DATE);

std::string EditionNoticeLine() {
    return ProductName + " framework " + FrameworkVersion + " - Copyright (c) " + BuildYear +
           " the kov developers. All rights reserved.";
}
