// Carbon's AssertMacros would otherwise define `check`, `verify` and `require` without underscores.
#define __ASSERT_MACROS_DEFINE_VERSIONS_WITHOUT_UNDERSCORES 0
#include "OsaScriptEngine.h"

#include <Carbon/Carbon.h>

namespace orvalet {

namespace {

// The calling thread's AppleScript component instance; null when it could not be opened.
ComponentInstance threadComponent() {
    struct Instance {
        ComponentInstance osa = OpenDefaultComponent(kOSAComponentType, kAppleScriptSubtype);
        ~Instance() {
            if (osa)
                CloseComponent(osa);
        }
    };
    thread_local const Instance instance;
    return instance.osa;
}

// What the descriptor holds as UTF-16 text (lone surrogates kept); none when it is not text.
std::optional<QString> takeText(AEDesc& desc) {
    AEDesc text = {typeNull, nullptr};
    const bool coerced = AECoerceDesc(&desc, typeUnicodeText, &text) == noErr;
    AEDisposeDesc(&desc);
    if (!coerced)
        return std::nullopt;
    QString out(qsizetype(AEGetDescDataSize(&text) / Size(sizeof(UniChar))), Qt::Uninitialized);
    const bool read = AEGetDescData(&text, out.data(), Size(out.size() * sizeof(UniChar))) == noErr;
    AEDisposeDesc(&text);
    return read ? std::optional(out) : std::nullopt;
}

std::optional<QString> errorText(ComponentInstance osa, OSType selector) {
    AEDesc desc = {typeNull, nullptr};
    if (OSAScriptError(osa, selector, typeUnicodeText, &desc) != noErr)
        return std::nullopt;
    return takeText(desc);
}

std::optional<qint64> errorNumber(ComponentInstance osa) {
    AEDesc desc = {typeNull, nullptr};
    if (OSAScriptError(osa, kOSAErrorNumber, typeSInt32, &desc) != noErr)
        return std::nullopt;
    SInt32 number = 0;
    const bool read = AEGetDescData(&desc, &number, sizeof number) == noErr;
    AEDisposeDesc(&desc);
    return read ? std::optional<qint64>(number) : std::nullopt;
}

// The error dictionary as osascript reports it: the message, then the number in parentheses.
ScriptError scriptError(ComponentInstance osa) {
    ScriptError error{
        errorText(osa, kOSAErrorMessage), errorText(osa, kOSAErrorBriefMessage), errorNumber(osa), {}};
    error.description =
        error.message.value_or(error.briefMessage.value_or(QStringLiteral("AppleScript error")));
    if (error.number)
        error.description += QStringLiteral(" (%1)").arg(*error.number);
    return error;
}

ScriptError componentFailure(const char* step, OSStatus status) {
    const QString message =
        QStringLiteral("The AppleScript component failed to %1 (%2).").arg(QLatin1String(step)).arg(status);
    return ScriptError{message, std::nullopt, std::nullopt, message};
}

} // namespace

std::optional<ScriptOutcome> OsaScriptEngine::run(const QString& source) const {
    const ComponentInstance osa = threadComponent();
    if (!osa)
        return ScriptOutcome{std::nullopt, componentFailure("open", badComponentInstance)};
    AEDesc program = {typeNull, nullptr};
    if (AECreateDesc(typeUnicodeText, source.utf16(), Size(source.size() * sizeof(UniChar)), &program) !=
        noErr)
        return std::nullopt;
    OSAID value = kOSANullScript;
    const OSAError status = OSACompileExecute(osa, &program, kOSANullScript, kOSAModeNull, &value);
    AEDisposeDesc(&program);
    if (status == errOSAScriptError) // a syntax or run-time error, with its dictionary
        return ScriptOutcome{std::nullopt, scriptError(osa)};
    if (status != noErr)
        return ScriptOutcome{std::nullopt, componentFailure("run the program", status)};
    if (value == kOSANullScript) // the program ended without a value, as osascript prints nothing
        return ScriptOutcome{QString(), std::nullopt};

    // The value as osascript prints it by default: text without quotes, lists joined by ", ".
    AEDesc shown = {typeNull, nullptr};
    const OSAError displayed = OSADisplay(osa, value, typeUnicodeText, kOSAModeDisplayForHumans, &shown);
    OSADispose(osa, value);
    if (displayed != noErr)
        return ScriptOutcome{std::nullopt, componentFailure("show the result", displayed)};
    return ScriptOutcome{takeText(shown), std::nullopt};
}

} // namespace orvalet
