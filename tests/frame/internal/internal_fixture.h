// The host fixture for tests linked to the library's objects: the extension record comes
// from calling the entry directly, so the instance's internals (work areas, line reader,
// the semantic actions of the parse tests) can be driven by name.
#ifndef ZORV_TESTS_FRAME_INTERNAL_FIXTURE_H
#define ZORV_TESTS_FRAME_INTERNAL_FIXTURE_H

#include "frame/frame.h"
#include "frame/frame_fixture.h"

namespace frametest {

class Linked : public Host {
  protected:
    ZExt* load(NQJournal* jnl) override { return static_cast<ZExt*>(zorv(kernel_, jnl)); }
};

}  // namespace frametest

#endif
