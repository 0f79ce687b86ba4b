// Row-parallel work for the bake pass and the average distance: the rows are
// computed by worker threads (the calling thread among them), and completion
// is reported on the calling thread in ascending row order, so whatever the
// caller does per finished row (the progress bar, the elapsed label) happens
// exactly as in a plain row-by-row loop. Workers live only inside one call.
#pragma once

#include <functional>

// Runs work(row) for every row in [0, rows) on up to `threads` threads and
// calls done(row) on the calling thread for each row in ascending order,
// once it and every row before it are complete. With one thread this is the
// plain loop work(0), done(0), work(1), done(1), ... `work` must be safe to
// run concurrently for different rows.
void ForEachRowInOrder(int rows, int threads, const std::function<void(int)>& work,
                       const std::function<void(int)>& done);

// The number of threads a pass uses: the value set by SetBakeThreadCount, or
// else the TAMSINK_THREADS environment variable, or else the machine's cores.
// 1 gives the plain single-threaded pass.
int BakeThreadCount();
// 0 returns to the default.
void SetBakeThreadCount(int threads);
