/* Entry points of the parser: the parse driver (the instance's Parse slot), the callbacks
 * that the parse engine and the tokenizer call, and the grammar routine. */
#ifndef ZORV_PARSE_PARSE_H
#define ZORV_PARSE_PARSE_H

#include "zorv/support.h"
#include "zorv/zorv.h"

extern "C" {
NQStatus ZORVTokenizer(void* user, int32_t x, int32_t y, NQToken** token);
int32_t ZORVGetLine(int32_t* lineflag, NQString** line, void* user);
NQStatus ZORVSemantics(NQParseContext* context, NQToken* token, const NQAction* action);
NQGrammar* zorvgrammar(NQGrammar* desc);
}

#endif
