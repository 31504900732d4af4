// The command list and the bash completion script, walked from the registered commands.
#include "tool_help.h"

#include <functional>
#include <vector>

#include "tool.h"

namespace pgmdev_tool {
namespace {

struct CommandNode {
  std::string path;  // "" for the tool, else "flash id"
  const CLI::App* app;
};

// Every command, parents before their subcommands, in help order.
std::vector<CommandNode> all_commands(const CLI::App& app) {
  std::vector<CommandNode> nodes;
  std::function<void(const CLI::App*, const std::string&)> walk = [&](const CLI::App* command,
                                                                      const std::string& path) {
    nodes.push_back({path, command});
    for (const CLI::App* sub : command->get_subcommands({})) {
      walk(sub, path.empty() ? sub->get_name() : path + " " + sub->get_name());
    }
  };
  walk(&app, "");
  return nodes;
}

std::string join(const std::vector<std::string>& words) {
  std::string text;
  for (const std::string& word : words) text += (text.empty() ? "" : " ") + word;
  return text;
}

enum class Takes { kAnything, kValue, kFile };

bool takes_file(const CLI::Option* option) {
  try {
    const_cast<CLI::Option*>(option)->get_validator(CLI::ExistingFile.get_name());
    return true;
  } catch (const CLI::OptionNotFound&) {
    return false;
  }
}

// The option names a user types: --long and -s forms, hidden ones left out; all of them, those
// that take a value, or those that take an existing file.
std::vector<std::string> option_names(const CLI::App* command, Takes takes) {
  std::vector<std::string> names;
  for (const CLI::Option* option : command->get_options()) {
    if (option->get_positional() || option->get_group().empty()) continue;
    if (takes == Takes::kValue && option->get_type_size() == 0) continue;
    if (takes == Takes::kFile && !takes_file(option)) continue;
    for (const std::string& name : option->get_lnames()) names.push_back("--" + name);
    for (const std::string& name : option->get_snames()) names.push_back("-" + name);
  }
  return names;
}

std::string case_key(const std::string& path) { return "\"" + path + "\""; }

}  // namespace

std::string command_list(const CLI::App& app) {
  std::string text;
  for (const CommandNode& node : all_commands(app)) {
    if (!node.path.empty()) text += node.path + "\n";
  }
  return text;
}

std::string bash_completion(const CLI::App& app) {
  const std::vector<CommandNode> nodes = all_commands(app);
  std::string paths;
  std::string lists;
  std::string value_options;
  for (const CommandNode& node : nodes) {
    std::vector<std::string> subcommands;
    for (const CLI::App* sub : node.app->get_subcommands({}))
      subcommands.push_back(sub->get_name());
    if (!node.path.empty()) paths += "      " + case_key(node.path) + ") path=$next ;;\n";
    lists += "    " + case_key(node.path) + ") commands=\"" + join(subcommands) + "\"; options=\"" +
             join(option_names(node.app, Takes::kAnything)) + "\"; values=\"" +
             join(option_names(node.app, Takes::kValue)) + "\"; files=\"" +
             join(option_names(node.app, Takes::kFile)) + "\" ;;\n";
  }
  return "# bash completion of pgmdev-tool, made by pgmdev-tool --bash-completion.\n"
         "_pgmdev_tool() {\n"
         "  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}\n"
         "  local path=\"\" next word i commands=\"\" options=\"\" values=\"\" files=\"\"\n"
         "  for ((i = 1; i < COMP_CWORD; i++)); do\n"
         "    word=${COMP_WORDS[i]}\n"
         "    next=${path:+$path }$word\n"
         "    case \"$next\" in\n" +
         paths +
         "    esac\n"
         "  done\n"
         "  case \"$path\" in\n" +
         lists +
         "  esac\n"
         "  if [[ \" $files \" == *\" $prev \"* ]]; then\n"
         "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "  elif [[ \" $values \" == *\" $prev \"* ]]; then\n"
         "    COMPREPLY=()\n"
         "  elif [[ $cur == -* ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$options\" -- \"$cur\"))\n"
         "  elif [[ -n $commands ]]; then\n"
         "    COMPREPLY=($(compgen -W \"$commands\" -- \"$cur\"))\n"
         "  else\n"
         "    COMPREPLY=($(compgen -f -- \"$cur\"))\n"
         "  fi\n"
         "}\n"
         "complete -F _pgmdev_tool pgmdev-tool\n";
}

void add_self_description(CLI::App& app) {
  const CLI::App* tool = &app;
  app.add_flag_callback(
         "--list-commands",
         [tool] {
           std::fputs(command_list(*tool).c_str(), stdout);
           throw CLI::Success();
         },
         "print the commands, one a line")
      ->group("");
  app.add_flag_callback(
         "--bash-completion",
         [tool] {
           std::fputs(bash_completion(*tool).c_str(), stdout);
           throw CLI::Success();
         },
         "print the bash completion script")
      ->group("");
}

}  // namespace pgmdev_tool
