/* block
 comment */ DROP DATABASE [O'Brien]]DB]; -- gone
