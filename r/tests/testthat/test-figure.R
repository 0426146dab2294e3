# The figure drawn on R's own device: the report's figure, whole and in proportion.

# The width and height of a PNG file, from its header.
png_size <- function(file) {
  header <- readBin(file, "raw", 24L)
  expect_identical(header[2:4], charToRaw("PNG"))
  c(readBin(header[17:20], "integer", endian = "big"),
    readBin(header[21:24], "integer", endian = "big"))
}

test_that("plot() draws the study's figure on the current device", {
  skip_if_not_installed("rsvg")
  s <- study(shipped_csv, series = 200)
  file <- Sys.getenv("ZORVI_FIGURE", withr::local_tempfile(fileext = ".png"))
  grDevices::png(file, width = 1200, height = 900)
  expect_identical(plot(s), s)
  grDevices::dev.off()
  image <- png_size(file)
  expect_identical(image, c(1200L, 900L))
  expect_gt(file.size(file), 50000)  # eight panels of lines and text, not a blank page
})
