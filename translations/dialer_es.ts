<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>CCallScreen</name>
    <message>
        <source>Dialling</source>
        <translation>Marcando</translation>
    </message>
    <message>
        <source>Ringing</source>
        <translation>Sonando</translation>
    </message>
    <message>
        <source>Connected</source>
        <translation>Conectada</translation>
    </message>
    <message>
        <source>On hold</source>
        <translation>En espera</translation>
    </message>
    <message>
        <source>Call ended</source>
        <translation>Llamada finalizada</translation>
    </message>
    <message>
        <source>Calling</source>
        <translation>Llamando</translation>
    </message>
    <message>
        <source>Dialled %1</source>
        <translation>Marcado %1</translation>
    </message>
    <message>
        <source>Tones sent: %1</source>
        <translation>Tonos enviados: %1</translation>
    </message>
    <message>
        <source>Not sent: %1</source>
        <translation>No enviados: %1</translation>
    </message>
    <message>
        <source>All tones sent</source>
        <translation>Todos los tonos enviados</translation>
    </message>
    <message>
        <source>Pause: %1 s, then %2</source>
        <translation>Pausa: %1 s, luego %2</translation>
    </message>
    <message>
        <source>Waiting for you to send %1</source>
        <translation>Esperando a que envíe %1</translation>
    </message>
    <message>
        <source>Sending %1</source>
        <translation>Enviando %1</translation>
    </message>
    <message>
        <source>Once answered: %1</source>
        <translation>Al contestar: %1</translation>
    </message>
    <message>
        <source>Keypad tones waiting: %1</source>
        <translation>Tonos del teclado en espera: %1</translation>
    </message>
    <message>
        <source>Send %1</source>
        <translation>Enviar %1</translation>
    </message>
    <message>
        <source>The card service is waiting. Send the tones %1?</source>
        <translation>El servicio de la tarjeta está esperando. ¿Enviar los tonos %1?</translation>
    </message>
    <message>
        <source>You hung up.</source>
        <translation>Usted colgó.</translation>
    </message>
    <message>
        <source>The other side hung up.</source>
        <translation>El otro lado colgó.</translation>
    </message>
    <message>
        <source>Ended outside this program.</source>
        <translation>Finalizada fuera de este programa.</translation>
    </message>
    <message>
        <source>Not answered.</source>
        <translation>Sin respuesta.</translation>
    </message>
    <message>
        <source>Duration %1.</source>
        <translation>Duración %1.</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Cerrar</translation>
    </message>
    <message>
        <source>Hang up the call?</source>
        <translation>¿Colgar la llamada?</translation>
    </message>
</context>
<context>
    <name>ContactChooser</name>
    <message>
        <source>No phone number</source>
        <translation>Sin número de teléfono</translation>
    </message>
    <message>
        <source>Choose Contact</source>
        <translation>Elegir contacto</translation>
    </message>
    <message>
        <source>Search by name or number</source>
        <translation>Buscar por nombre o número</translation>
    </message>
    <message>
        <source>Reading contacts</source>
        <translation>Leyendo contactos</translation>
    </message>
    <message>
        <source>Reading contacts: %L1 found</source>
        <translation>Leyendo contactos: %L1 encontrados</translation>
    </message>
    <message>
        <source>beyond the first %L1 contacts: %L2</source>
        <translation>más allá de los primeros %L1 contactos: %L2</translation>
    </message>
    <message>
        <source>with a field over %1 or a card over %2: %L3</source>
        <translation>con un campo de más de %1 o una tarjeta de más de %2: %L3</translation>
    </message>
    <message>
        <source>files over %1: %L2</source>
        <translation>archivos de más de %1: %L2</translation>
    </message>
    <message>
        <source>Not listed — %1</source>
        <translation>No listados — %1</translation>
    </message>
    <message>
        <source>No contacts</source>
        <translation>No hay contactos</translation>
    </message>
    <message>
        <source>No matching contacts</source>
        <translation>Ningún contacto coincide</translation>
    </message>
    <message>
        <source>mobile</source>
        <translation>móvil</translation>
    </message>
    <message>
        <source>fax</source>
        <translation>fax</translation>
    </message>
    <message>
        <source>pager</source>
        <translation>busca</translation>
    </message>
    <message>
        <source>home</source>
        <translation>casa</translation>
    </message>
    <message>
        <source>work</source>
        <translation>trabajo</translation>
    </message>
    <message>
        <source>main</source>
        <translation>principal</translation>
    </message>
    <message>
        <source>car</source>
        <translation>coche</translation>
    </message>
    <message>
        <source>other</source>
        <translation>otro</translation>
    </message>
    <message>
        <source>address books that could not be read: %1</source>
        <translation>libretas de direcciones que no se pudieron leer: %1</translation>
    </message>
    <message>
        <source>did not answer in time</source>
        <translation>no respondió a tiempo</translation>
    </message>
    <message>
        <source>not reached: the one before did not answer</source>
        <translation>no alcanzada: la anterior no respondió</translation>
    </message>
</context>
<context>
    <name>DialogTemplates</name>
    <message>
        <source>Add Telvane</source>
        <translation>Añadir Telvane</translation>
    </message>
    <message>
        <source>Make Call</source>
        <translation>Llamar</translation>
    </message>
    <message>
        <source>Edit Telvane</source>
        <translation>Editar Telvane</translation>
    </message>
    <message>
        <source>Delete Telvane</source>
        <translation>Borrar Telvane</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Salir</translation>
    </message>
    <message>
        <source>Card Name</source>
        <translation>Nombre</translation>
    </message>
    <message>
        <source>Access Number</source>
        <translation>Nº de acceso</translation>
    </message>
    <message>
        <source>Pin Option</source>
        <translation>Opción PIN</translation>
    </message>
    <message>
        <source>Pause Before Number</source>
        <translation>Pausa antes del número</translation>
    </message>
    <message>
        <source>Prefix</source>
        <translation>Pref.</translation>
    </message>
    <message>
        <source>Add</source>
        <translation>Añadir</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <source>Pause Before Pin</source>
        <translation>Pausa antes del PIN</translation>
    </message>
    <message>
        <source>Dial</source>
        <translation>Marcar</translation>
    </message>
    <message>
        <source>Phone Number</source>
        <translation>Teléfono</translation>
    </message>
    <message>
        <source>Card List</source>
        <translation>Tarjetas</translation>
    </message>
    <message>
        <source>( CC + AC + Number )</source>
        <translation>( País + Área + Nº )</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Confirmar</translation>
    </message>
    <message>
        <source>You have selected to dial</source>
        <translation>Ha elegido marcar</translation>
    </message>
    <message>
        <source>Contact</source>
        <translation>Contacto</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Aceptar</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Borrar</translation>
    </message>
    <message>
        <source>Save</source>
        <translation>Guardar</translation>
    </message>
    <message>
        <source>Phonebook</source>
        <translation>Agenda</translation>
    </message>
    <message>
        <source>Contacts</source>
        <translation>Contactos</translation>
    </message>
    <message>
        <source>Pin Base</source>
        <translation>Con PIN</translation>
    </message>
    <message>
        <source>Pin Less</source>
        <translation>Sin PIN</translation>
    </message>
    <message>
        <source>Don&apos;t send</source>
        <translation>No enviar</translation>
    </message>
    <message>
        <source>Speaker</source>
        <translation>Altavoz</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Silenciar</translation>
    </message>
    <message>
        <source>Hang up</source>
        <translation>Colgar</translation>
    </message>
    <message>
        <source>Recent Calls</source>
        <translation>Llamadas recientes</translation>
    </message>
</context>
<context>
    <name>Messages</name>
    <message>
        <source>too many links are waiting</source>
        <translation>hay demasiados enlaces en espera</translation>
    </message>
    <message>
        <source>The dialer that is running did not take the number: %1</source>
        <translation>El marcador que está en marcha no aceptó el número: %1</translation>
    </message>
    <message>
        <source>Card is not Available</source>
        <translation>No hay ninguna tarjeta</translation>
    </message>
    <message>
        <source>Are you sure you want to exit Application, Press OK to Quit</source>
        <translation>¿Seguro que quiere salir de la aplicación? Pulse Aceptar para salir</translation>
    </message>
    <message>
        <source>Too many screens are open. Exit and start the dialer again.</source>
        <translation>Hay demasiadas pantallas abiertas. Salga y vuelva a iniciar el marcador.</translation>
    </message>
    <message>
        <source>Please Enter the Phone Number</source>
        <translation>Introduzca el número de teléfono</translation>
    </message>
    <message>
        <source>StringCchLength failed</source>
        <translation>Falló StringCchLength</translation>
    </message>
    <message>
        <source>destination number is NULL</source>
        <translation>el número de destino es NULL</translation>
    </message>
    <message>
        <source>StripNonPhoneDigits failed</source>
        <translation>Falló StripNonPhoneDigits</translation>
    </message>
    <message>
        <source>BuildDialString failed</source>
        <translation>Falló BuildDialString</translation>
    </message>
    <message>
        <source>Please select card</source>
        <translation>Seleccione una tarjeta</translation>
    </message>
    <message>
        <source>No phone service is available: this device has no modem and no application for phone calls.</source>
        <translation>No hay servicio telefónico: este dispositivo no tiene módem ni aplicación para llamadas.</translation>
    </message>
    <message>
        <source>The call request is not valid.</source>
        <translation>La solicitud de llamada no es válida.</translation>
    </message>
    <message>
        <source>There is no number to dial.</source>
        <translation>No hay ningún número que marcar.</translation>
    </message>
    <message>
        <source>The modem refused the call.</source>
        <translation>El módem rechazó la llamada.</translation>
    </message>
    <message>
        <source>Not allowed to place calls on this device: </source>
        <translation>No tiene permiso para llamar desde este dispositivo: </translation>
    </message>
    <message>
        <source>ModemManager does not answer.</source>
        <translation>ModemManager no responde.</translation>
    </message>
    <message>
        <source>ModemManager gave an answer that cannot be read.</source>
        <translation>ModemManager dio una respuesta que no se puede leer.</translation>
    </message>
    <message>
        <source>The state of the call cannot be read, so the call was hung up.</source>
        <translation>No se puede leer el estado de la llamada, así que se ha colgado.</translation>
    </message>
    <message>
        <source>Another call is being placed.</source>
        <translation>Ya se está realizando otra llamada.</translation>
    </message>
    <message>
        <source>The application for phone calls could not be started.</source>
        <translation>No se pudo iniciar la aplicación de llamadas.</translation>
    </message>
    <message>
        <source>No phone service is available: this device has no modem, and no application for phone calls other than this dialer.</source>
        <translation>No hay servicio telefónico: este dispositivo no tiene módem ni otra aplicación para llamadas aparte de este marcador.</translation>
    </message>
    <message>
        <source>The call ended before the tones were sent.</source>
        <translation>La llamada terminó antes de enviar los tonos.</translation>
    </message>
    <message>
        <source>The call ended before all the tones were sent.</source>
        <translation>La llamada terminó antes de enviar todos los tonos.</translation>
    </message>
    <message>
        <source>The modem went away during the call; the tones were not sent.</source>
        <translation>El módem desapareció durante la llamada; no se enviaron los tonos.</translation>
    </message>
    <message>
        <source>The phone refused to send the tones.</source>
        <translation>El teléfono se negó a enviar los tonos.</translation>
    </message>
    <message>
        <source>Not sent: </source>
        <translation>No enviados: </translation>
    </message>
    <message>
        <source>Send the following tones?</source>
        <translation>¿Enviar los tonos siguientes?</translation>
    </message>
    <message>
        <source>Your change was not saved: %1. The card file is as it was.</source>
        <translation>No se guardó el cambio: %1. El archivo de tarjetas sigue como estaba.</translation>
    </message>
    <message>
        <source>The card book is full: delete a card before adding another.</source>
        <translation>La lista de tarjetas está llena: borre una tarjeta antes de añadir otra.</translation>
    </message>
    <message>
        <source>The card book is in use by another copy of this program. Nothing was saved: try again.</source>
        <translation>Otra copia de este programa está usando la lista de tarjetas. No se guardó nada: inténtelo de nuevo.</translation>
    </message>
    <message>
        <source>The card file is too big to rewrite safely. It was left as it is: nothing was saved.</source>
        <translation>El archivo de tarjetas es demasiado grande para reescribirlo con seguridad. Se ha dejado como estaba: no se guardó nada.</translation>
    </message>
    <message>
        <source>Please select Card</source>
        <translation>Seleccione una tarjeta</translation>
    </message>
    <message>
        <source>Are you sure you want to delete this Telvane?</source>
        <translation>¿Seguro que quiere borrar esta Telvane?</translation>
    </message>
    <message>
        <source>Card Name must not be blank</source>
        <translation>El nombre de la tarjeta no puede estar vacío</translation>
    </message>
    <message>
        <source>Access Number must not be blank</source>
        <translation>El número de acceso no puede estar vacío</translation>
    </message>
    <message>
        <source>Pin Option field must not be blank</source>
        <translation>El campo PIN no puede estar vacío</translation>
    </message>
    <message>
        <source>Pause Before Pin must not be blank</source>
        <translation>La pausa antes del PIN no puede estar vacía</translation>
    </message>
    <message>
        <source>Pause Before Number must not be blank</source>
        <translation>La pausa antes del número no puede estar vacía</translation>
    </message>
    <message>
        <source>This card no longer exists: it was deleted meanwhile. Nothing was saved.</source>
        <translation>Esta tarjeta ya no existe: se borró mientras tanto. No se guardó nada.</translation>
    </message>
    <message>
        <source>Card name exist.Please Edit card with different name</source>
        <translation>Ese nombre de tarjeta ya existe. Edite la tarjeta con otro nombre</translation>
    </message>
    <message>
        <source>Telvane information updated sucessfully!!</source>
        <translation>¡Los datos de la Telvane se han actualizado!</translation>
    </message>
    <message>
        <source>Card name exist.Please add card with different name</source>
        <translation>Ese nombre de tarjeta ya existe. Añada la tarjeta con otro nombre</translation>
    </message>
    <message>
        <source>Are you sure you want to add this Telvane?</source>
        <translation>¿Seguro que quiere añadir esta Telvane?</translation>
    </message>
    <message>
        <source>A call is in progress. Hang up and quit?</source>
        <translation>Hay una llamada en curso. ¿Colgar y salir?</translation>
    </message>
    <message>
        <source>The call could not be hung up.</source>
        <translation>No se pudo colgar la llamada.</translation>
    </message>
    <message>
        <source>A call is in progress</source>
        <translation>Hay una llamada en curso</translation>
    </message>
    <message>
        <source>The call was placed, but not saved in Recent Calls: %1</source>
        <translation>La llamada se realizó, pero no se guardó en Llamadas recientes: %1</translation>
    </message>
    <message>
        <source>Recent Calls could not be read, and were moved aside to %1. A new list of recent calls was started.</source>
        <translation>No se pudieron leer las llamadas recientes y se apartaron en %1. Se empezó una lista nueva de llamadas recientes.</translation>
    </message>
    <message>
        <source>Your change was not saved in Recent Calls: %1</source>
        <translation>Su cambio no se guardó en Llamadas recientes: %1</translation>
    </message>
    <message>
        <source>%1 is an emergency number: it is called directly, not through the card.</source>
        <translation>%1 es un número de emergencia: se llama directamente, no a través de la tarjeta.</translation>
    </message>
    <message>
        <source>How the call ended was not saved in Recent Calls: %1</source>
        <translation>No se guardó en Llamadas recientes cómo terminó la llamada: %1</translation>
    </message>
    <message>
        <source>Emergency call</source>
        <translation>Llamada de emergencia</translation>
    </message>
</context>
<context>
    <name>RecentCalls</name>
    <message>
        <source>Placed</source>
        <translation>Realizada</translation>
    </message>
    <message>
        <source>Ended</source>
        <translation>Finalizada</translation>
    </message>
    <message>
        <source>No answer</source>
        <translation>Sin respuesta</translation>
    </message>
    <message>
        <source>Failed</source>
        <translation>Fallida</translation>
    </message>
    <message>
        <source>Called directly</source>
        <translation>Llamada directa</translation>
    </message>
    <message>
        <source>Favourite</source>
        <translation>Favorita</translation>
    </message>
    <message>
        <source>Recent Calls</source>
        <translation>Llamadas recientes</translation>
    </message>
    <message>
        <source>Add to Favourites</source>
        <translation>Añadir a favoritas</translation>
    </message>
    <message>
        <source>No recent calls</source>
        <translation>No hay llamadas recientes</translation>
    </message>
    <message>
        <source>Recent Calls cannot be read: %1</source>
        <translation>No se pueden leer las llamadas recientes: %1</translation>
    </message>
    <message>
        <source>Remove from Favourites</source>
        <translation>Quitar de favoritas</translation>
    </message>
</context>
</TS>
