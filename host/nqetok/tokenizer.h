// The tokenizer object of the nqetok extension: made by the extension record's
// CreateTokenizer, released through its object header's Dispose.
#ifndef ZORV_HOST_NQETOK_TOKENIZER_H
#define ZORV_HOST_NQETOK_TOKENIZER_H

#include "zorv/nqhost.h"

namespace etok {

// Makes a tokenizer that reads its input through the block's line reader. Returns null
// and a status when the block is unusable, an injected failure hits, or memory runs out.
NQTokenizer* create_tokenizer(NQKernel* kernel, const NQTokenizerBlock* block, NQJournal* jnl,
                              NQStatus* status);

}  // namespace etok

#endif  // ZORV_HOST_NQETOK_TOKENIZER_H
