library(testthat)
library(zorvi)

test_check("zorvi")
