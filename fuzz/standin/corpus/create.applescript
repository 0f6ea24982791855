tell application "Things3"
    set newTag to make new tag with properties {name: "C:\\Backups" & quote}
    set parent tag of newTag to tag "Home"
    return id of newTag
end tell