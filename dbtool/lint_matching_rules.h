// lint's rules on matching: for every adapter and driver the records can
// match, what the library's scan makes of them, and where that is not what
// the records' author most likely meant.
#pragma once

struct Linter;

// The names of the matching rules, for saying which stopped at the work limit.
extern const char* const kMatchingRules[];
extern const int kMatchingRuleCount;

// Reports the matching rules' findings; stops when lint.Judge() says the work
// limit is reached.
void LintMatching(Linter& lint);
