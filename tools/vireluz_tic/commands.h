#pragma once
// The subcommands of vireluz-tic; argv[0] is the subcommand's name.
namespace vireluz::tic {
int cmd_decode(int argc, char** argv);
int cmd_settings(int argc, char** argv);
int cmd_simulate(int argc, char** argv);
}  // namespace vireluz::tic
