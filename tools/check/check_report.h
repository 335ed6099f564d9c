#pragma once
// Writing kestrava-check's findings: one line each, compiler style
// ("PLACE:LINE: error: MESSAGE [ID]"), a JSON array, a SARIF 2.1.0 log, or
// GitHub workflow annotations ("::error file=PATH,line=LINE,title=ID::MESSAGE").
// Texts of the definition files are 8-bit: each byte is written as the
// Latin-1 character of its value (UTF-8 in JSON and SARIF).
#include <string>
#include <vector>

#include "mod/mod_checks.h"

void WriteCheckText(std::string& Out, const std::vector<CheckFinding>& Findings);
void WriteCheckJson(std::string& Out, const std::vector<CheckFinding>& Findings);
void WriteCheckSarif(std::string& Out, const std::vector<CheckFinding>& Findings, const std::string& Version);
void WriteCheckGithub(std::string& Out, const std::vector<CheckFinding>& Findings);
