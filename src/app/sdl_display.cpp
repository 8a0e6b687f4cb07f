// The SDL edge of the toy.
