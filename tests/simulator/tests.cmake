# The command-line test runs the vireluz-tic program.
add_dependencies(${TEST_TARGET} vireluz-tic)
