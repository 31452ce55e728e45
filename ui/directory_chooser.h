// Asks the user for an existing directory, opening at a start directory; a
// null or empty result means the user cancelled. A replaceable hook, so that
// no modal dialog opens in tests: it takes any function of (parent, start
// directory), or of the parent alone for a caller that ignores where the
// chooser opens.
#pragma once

#include <QString>
#include <concepts>
#include <functional>
#include <type_traits>
#include <utility>

class QWidget;

class DirectoryChooser {
  public:
    using Ask = std::function<QString(QWidget* parent, const QString& startDirectory)>;

    DirectoryChooser() = default;

    template <typename F>
    requires(!std::same_as<std::remove_cvref_t<F>, DirectoryChooser> &&
             std::is_invocable_r_v<QString, F&, QWidget*, const QString&>) DirectoryChooser(F ask)
        : ask_(std::move(ask)) {}

    template <typename F>
    requires(!std::same_as<std::remove_cvref_t<F>, DirectoryChooser> &&
             !std::is_invocable_r_v<QString, F&, QWidget*, const QString&> &&
             std::is_invocable_r_v<QString, F&, QWidget*>) DirectoryChooser(F ask)
        : ask_([ask = std::move(ask)](QWidget* parent, const QString&) mutable {
              return ask(parent);
          }) {}

    QString operator()(QWidget* parent, const QString& startDirectory = QString()) const {
        return ask_(parent, startDirectory);
    }

  private:
    Ask ask_;
};
