set x to 1 & 2
try
    error "a" number 3
on error m number n
    if m is "A" then
        return m & n
    else
        return x
    end if
end try