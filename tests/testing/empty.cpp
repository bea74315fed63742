// Keeps the helper library non-empty before any helper exists.
namespace quillon_testing_anchor { int anchor = 0; }
