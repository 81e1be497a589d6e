// The module's library is made of the fitting, shape transform and coefficient file
// libraries (linked whole); it has no code of its own.
