// The hand-off between a starting thread and its worker.
#include "net/start_block.h"

void ResetStartBlock(ThreadStartBlock* block, MEvent* wake) {
    block->started = false;
    block->socket = nullptr;
    block->host = nullptr;
    block->window = nullptr;
    block->doneMessage = 0;
    block->wake = wake;
}

// The event is read before the flag is set: from then on the starter may reuse the
// block. The event itself outlives the wait, which ends only once it is set.
void SignalStarted(ThreadStartBlock* block) {
    MEvent* wake = block->wake;
    block->started = true;
    if (wake != nullptr) {
        wake->Set();
    }
}

void WaitStarted(ThreadStartBlock* block) {
    if (block->wake != nullptr && block->wake->Wait()) {
        return;
    }
    while (!block->started) {
        MSleep(1);
    }
}
