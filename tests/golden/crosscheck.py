#!/usr/bin/env python3
"""Independent re-computation of a whole zorvi run, for checking the golden files.

Re-implements the generator, the Gaussian deviates, the error function, the test and the two
number renderings with Python integers, exact decimals and the C library's exp/log/sqrt (the same
functions the program calls), then compares with a run directory's stdout and results file.

usage: crosscheck.py DATA_FILE STDOUT_FILE RESULTS_FILE
"""
import math
import struct
import sys
from decimal import Decimal, ROUND_HALF_EVEN, ROUND_HALF_UP, getcontext

getcontext().prec = 400

M32 = 0xFFFFFFFF


def to_int32(v):
    v &= M32
    return v - (1 << 32) if v & 0x80000000 else v


def float32_of_int(p):
    """Round a non-negative integer to 24 significant bits, ties to even (exact)."""
    if p == 0:
        return 0
    shift = max(p.bit_length() - 24, 0)
    q, r = divmod(p, 1 << shift)
    half = 1 << (shift - 1) if shift else 0
    if shift and (r > half or (r == half and q & 1)):
        q += 1
    return q << shift


class Uniform:
    def __init__(self):
        self.shift = M32
        self.cong = -1

    def ran(self, seed):
        if seed <= 0 or self.cong < 0:
            a = (-seed) & M32 if seed < 0 else seed
            self.cong = to_int32((a ^ 888889999) | 1)
            self.shift = (a ^ 777755555) & M32
            seed = to_int32(a + 1)
        x = self.shift
        x ^= (x << 13) & M32
        x ^= x >> 17
        x ^= (x << 5) & M32
        self.shift = x
        k = int(self.cong / 127773)  # truncation toward zero
        c = 16807 * (self.cong - k * 127773) - 2836 * k
        if c < 0:
            c += 2147483647
        self.cong = c
        n = ((x ^ (c & M32)) & 0x7FFFFFFF) | 1
        # scale = (2^24 - 1) * 2^-55; the product rounded once to single precision.
        return float32_of_int((2**24 - 1) * n) / 2.0**55, seed


class Gaussian:
    def __init__(self, uniform):
        self.u = uniform
        self.saved = None
        self.word = 1

    def next(self):
        if self.saved is not None:
            z, self.saved = self.saved, None
            return z
        while True:
            u1, self.word = self.u.ran(self.word)
            u2, self.word = self.u.ran(self.word)
            v1 = 2.0 * u1 - 1.0
            v2 = 2.0 * u2 - 1.0
            rsq = v1 * v1 + v2 * v2
            if 0.0 < rsq < 1.0:
                break
        fac = math.sqrt(-(2.0 * math.log(rsq)) / rsq)
        self.saved = v2 * fac
        return v1 * fac


COEFFS = [-1.26551223, 1.00002368, 0.37409196, 0.09678418, -0.18628806,
          0.27886807, -1.13520398, 1.48851587, -0.82215223, 0.17087277]


def poly_blocked(x, c):
    work = list(c)
    n = len(work)
    p = x
    while True:
        work.append(0.0)
        work = work[:n + 1]
        h = (n + 1) // 2
        work = [work[2 * k] + p * work[2 * k + 1] for k in range(h)]
        if h == 1:
            return work[0]
        p = p * p
        n = h


def erfcc(x):
    z = abs(x)
    t = 1.0 / (1.0 + 0.5 * z)
    r = math.exp(poly_blocked(t, COEFFS) - z * z) * t
    return 2.0 - r if x < 0 else r


def cox_lewis(a, b, times):
    d = b - a
    s = 0.0
    for t in times:
        s += t
    m = float(len(times))
    if m == 0:
        return math.nan, math.nan
    r = math.sqrt(12.0 * m)
    c = (s / m - a) - 0.5 * d
    u = (r * c) / d
    return u, 0.5 * erfcc(abs(u) / 1.4142135623730951)


def digits38(x):
    """|x| rounded to 38 significant digits, as a Decimal."""
    d = abs(Decimal(x))
    if d == 0:
        return d
    exp = d.adjusted()
    return d.quantize(Decimal(1).scaleb(exp - 37), rounding=ROUND_HALF_EVEN)


def f16_8(x):
    if math.isnan(x):
        return "NaN".rjust(16)
    if math.isinf(x):
        return ("+Infinity" if x > 0 else "-Infinity").rjust(16)
    v = digits38(x).quantize(Decimal("1e-8"), rounding=ROUND_HALF_UP)
    neg = math.copysign(1.0, x) < 0
    s = ("-" if neg else "") + format(v, "f")
    return "*" * 16 if len(s) > 16 else s.rjust(16)


def free_real(x):
    if math.isnan(x):
        return "NaN".rjust(25)
    if math.isinf(x):
        return ("+Infinity" if x > 0 else "-Infinity").rjust(25)
    m = abs(x)
    neg = math.copysign(1.0, x) < 0
    if (0 < m < 0.1) or m >= 1e17:
        d = digits38(x)
        exp = d.adjusted()
        mant = (d.scaleb(-exp)).quantize(Decimal("1e-17"), rounding=ROUND_HALF_UP)
        if mant >= 10:
            mant = (mant / 10).quantize(Decimal("1e-17"), rounding=ROUND_HALF_UP)
            exp += 1
        esign = "+" if exp >= 0 else "-"
        return ("-" if neg else " ") + format(mant, "f") + "E" + esign + "%03d" % abs(exp)
    if m == 0:
        decimals = 16
    else:
        q = 1
        while not m < 10 ** (q - 1) * (1 - 0.5e-17):
            q += 1
        decimals = 18 - q
    v = digits38(x).quantize(Decimal(1).scaleb(-decimals), rounding=ROUND_HALF_UP)
    s = format(v, "f")
    if decimals == 0:
        s += "."
    return (("-" if neg else "") + s).rjust(20) + " " * 5


def main():
    data, stdout_file, results_file = sys.argv[1:4]
    values = [float(v) for v in open(data).read().split()][:180]
    t, x, sx = values[0::3], values[1::3], values[2::3]
    a, b = 1980.417, 2018.917
    sel = [ti for ti, xi in zip(t, x) if xi >= 113.0]
    u, p = cox_lewis(a, b, sel)
    line17 = " " + " m = " + " " + str(len(sel)).rjust(11) + " " + "        u = " + " " + \
        free_real(u) + " " + "        P = " + " " + free_real(p)

    uni = Uniform()
    _, _ = uni.ran(-206761862)
    g = Gaussian(uni)
    g.next()
    records = [" Zorvi: Results", " u_simulated  P_simulated", " "]
    for _ in range(2000):
        xsim = [sxi * g.next() + xi for xi, sxi in zip(x, sx)]
        us, ps = cox_lewis(a, b, [ti for ti, xi in zip(t, xsim) if xi >= 113.0])
        records.append(" " + f16_8(us) + " " + f16_8(ps))
    expected_results = "".join(r + "\r\n" for r in records).encode()

    console = open(stdout_file, "rb").read().decode().split("\r\n")
    ok = True
    if console[16] != line17:
        print("console record 17 differs:\n  got      %r\n  expected %r" % (console[16], line17))
        ok = False
    if open(results_file, "rb").read() != expected_results:
        print("results file differs from the independent computation")
        ok = False
    print("crosscheck:", "agree" if ok else "DIFFER", "(m = %d, u = %r, P = %r)" % (len(sel), u, p))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
