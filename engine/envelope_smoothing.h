#pragma once
// The smoother that turns each band's rectified speech-side signal into its envelope:
//   e[n] = envIn0 r[n] + envIn1 r[n-1] - envFb e[n-1],
// the bilinear transform of 1 / (0.8 + tau s), with tau = morph * 5 ms: a gain of 1.25 at DC.
// At morph 1.0 and 44100 Hz its pole lies at about 0.99638 (a time constant of 276 samples);
// at morph 0.0 the envelope is 1.25 times the rectified signal plus a delay value that only
// changes sign. The eight bands share these coefficients.

struct EnvelopeSmoothing {
  // `morph` is clamped into 0 to 1 first: below 0 the pole would leave the unit circle, and
  // an infinite value would make the coefficients NaN.
  static EnvelopeSmoothing forMorph(float morph, float sampleRate);

  float envFb;   // feedback weight of the previous envelope value
  float envIn0;  // weight of the current rectified sample
  float envIn1;  // weight of the previous rectified sample, always equal to envIn0
};
