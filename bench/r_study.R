# Times study() of the shipped data through the R package, as bench/python_study.py times the
# Python package's: data read, 2000 series, results file written, the study's values read into
# R and the summary composed; then a study of 10^6 series streamed to a results file, with the
# process's peak memory; then how soon an interrupt stops a study of 10^6 series.
#
# usage: Rscript bench/r_study.R [RUNS]   (zorvi installed, e.g. R_LIBS=<build>/r/library)
library(zorvi)

runs <- as.integer(commandArgs(trailingOnly = TRUE)[1L])
if (is.na(runs)) runs <- 30L
data <- zorvi_example("Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat")
folder <- if (dir.exists("/dev/shm")) "/dev/shm" else tempdir()
results <- tempfile("study", folder, ".dat")
peak_mb <- function() {
  status <- readLines("/proc/self/status")
  as.numeric(sub("[^0-9]*([0-9]+).*", "\\1", grep("^VmHWM", status, value = TRUE))) / 1024
}
one <- function() capture.output(print(study(data, results = results)))

invisible(one())  # warm up
times <- vapply(seq_len(runs), function(i) {
  cpu <- proc.time()
  wall <- Sys.time()
  one()
  c(as.double(Sys.time() - wall, units = "secs"), sum((proc.time() - cpu)[c(1L, 2L)]))
}, numeric(2L))
cat(sprintf("2000 series: median wall %.1f ms (fastest %.1f ms), median CPU %.1f ms over %d runs; peak RSS %.1f MB\n",
            1e3 * median(times[1L, ]), 1e3 * min(times[1L, ]), 1e3 * median(times[2L, ]), runs,
            peak_mb()))

wall <- Sys.time()
s <- study(data, series = 1e6, results = results)
invisible(capture.output(print(s)))
cat(sprintf("10^6 series streamed: %.2f s wall, peak RSS %.1f MB, results file %.1f MB\n",
            as.double(Sys.time() - wall, units = "secs"), peak_mb(), file.size(results) / 1e6))

unlink(results)
stopped <- tempfile("stopped", folder, ".dat")
sent <- NULL
calls <- 0
latency <- tryCatch(study(data, series = 1e6, results = stopped, progress = function(done, total) {
  calls <<- calls + 1
  if (calls == 3) {
    sent <<- Sys.time()
    tools::pskill(Sys.getpid(), tools::SIGINT)
  }
}), interrupt = function(condition) as.double(Sys.time() - sent, units = "secs"))
cat(sprintf("interrupt: the study stopped %.3f s after the signal; results file left: %s\n",
            latency, file.exists(stopped)))
