// Work on a stream of jobs spread over threads, with the results taken back in the order
// the jobs were made: the calling thread makes jobs and takes finished ones, the workers
// do the middle. A fixed set of job records is reused, so memory stays that of the set.
#ifndef ZORV_TABLE_PIPELINE_H
#define ZORV_TABLE_PIPELINE_H

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace zorv::table {

// Runs make(job) on the calling thread until it returns false, work(job, worker) on one of
// `threads` workers (0 <= worker < threads), and take(job) on the calling thread in the
// order the jobs were made, stopping early when take returns false. With one thread, or
// when no thread can be started, everything runs on the calling thread with jobs[0]. At
// most jobs.size() jobs are under way at once. Returns false when take stopped it.
template <class Job, class Make, class Work, class Take>
bool run_in_order(int threads, std::vector<Job>& jobs, Make&& make, Work&& work, Take&& take) {
    std::mutex m;
    std::condition_variable to_workers, to_caller;
    std::deque<size_t> queue;
    std::vector<char> done(jobs.size(), 0);
    bool stop = false;
    auto worker = [&](int index) {
        std::unique_lock<std::mutex> lock(m);
        for (;;) {
            to_workers.wait(lock, [&] { return stop || !queue.empty(); });
            if (queue.empty()) return;
            const size_t i = queue.front();
            queue.pop_front();
            lock.unlock();
            work(jobs[i], index);
            lock.lock();
            done[i] = 1;
            to_caller.notify_one();
        }
    };
    std::vector<std::thread> pool;
    if (threads > 1 && jobs.size() > 1) {
        try {
            for (int t = 0; t < threads; ++t) pool.emplace_back(worker, t);
        } catch (const std::system_error&) {
            // Fewer threads than asked for still do the work; none at all, and it is done here.
        }
    }
    if (pool.empty()) {
        for (;;) {
            if (!make(jobs[0])) return true;
            work(jobs[0], 0);
            if (!take(jobs[0])) return false;
        }
    }

    const size_t n = jobs.size();
    size_t made = 0, taken = 0;
    bool more = true, whole = true;
    for (;;) {
        if (more && made - taken < n) {
            const size_t i = made % n;
            if (make(jobs[i])) {
                {
                    std::lock_guard<std::mutex> lock(m);
                    queue.push_back(i);
                }
                to_workers.notify_one();
                ++made;
                continue;
            }
            more = false;
        }
        if (made == taken) break;
        const size_t i = taken % n;
        {
            std::unique_lock<std::mutex> lock(m);
            to_caller.wait(lock, [&] { return done[i] != 0; });
            done[i] = 0;
        }
        ++taken;
        if (!take(jobs[i])) {
            whole = false;
            break;
        }
    }
    {
        std::lock_guard<std::mutex> lock(m);
        stop = true;
        queue.clear();
    }
    to_workers.notify_all();
    for (std::thread& t : pool) t.join();
    return whole;
}

}  // namespace zorv::table

#endif
