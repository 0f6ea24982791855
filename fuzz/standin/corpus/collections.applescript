tell application "Things3"
    set savedDelimiters to AppleScript's text item delimiters
    set AppleScript's text item delimiters to ","
    set out to {}
    set tagIds to id of every tag
    set tagNames to name of every tag
    repeat with i from 1 to count of tagIds
        set n to item i of tagNames
        set end of out to (item i of tagIds) & ":" & ((id of n) as text) & ";"
    end repeat
    repeat with d in to dos of tag (item 1 of tagNames)
        set end of out to id of d
    end repeat
    set AppleScript's text item delimiters to ""
    set answer to out as text
    set AppleScript's text item delimiters to savedDelimiters
    return {answer, text items of answer, id of (get name of tag (item 1 of tagNames))}
end tell
